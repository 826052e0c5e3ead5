#pragma once

#include <objidl.h>
#include <oaidl.h>

namespace sim::audio {

// What an interface property value hands out: a fresh object with nothing behind its interfaces
// (every method beyond IUnknown's fails), so that all a reader can do with it is let go of it.
// Each is counted while alive (ObjectKind::StoredObject). The caller owns the one reference.
IStream* NewStoredObject();
IDispatch* NewStoredDispatch();

}  // namespace sim::audio
