#pragma once

#include "sim/audio/AudioService.h"

namespace sim::machine {

// The built-in simulated laptop: its speaker endpoint (the one the page configures), a
// headphone endpoint and a microphone, with form factors and device formats as a fresh
// installation has them and no effect words stored yet.
inline constexpr wchar_t kLaptopSpeakersId[] =
    L"{0.0.0.00000000}.{8d1c5a3e-6f0b-4c2a-9e41-2b7d0c9f4a10}";
inline constexpr wchar_t kLaptopHeadphonesId[] =
    L"{0.0.0.00000000}.{2e4a9c71-0d3b-4f68-a5c2-91e07b6d3f25}";
inline constexpr wchar_t kLaptopMicrophoneId[] =
    L"{0.0.1.00000000}.{b7f3e2d0-4a19-46c5-8e6a-5d2c1f0a9b34}";

void AddDefaultLaptop(audio::AudioService& service);

}  // namespace sim::machine
