#pragma once

#include <unknwn.h>

#include <memory>

#include "sim/audio/AudioService.h"

namespace sim::audio {

enum class FactoryKind { DeviceEnumerator, EndpointConfigVista, EndpointConfig7 };

// The class object the service registers for one of its CLSIDs.
IClassFactory* NewClassFactory(std::weak_ptr<AudioService> service, FactoryKind kind);
const CLSID& FactoryClass(FactoryKind kind);

}  // namespace sim::audio
