#pragma once

#include <windows.h>

#include <vector>

#include "bench/badinput/Sweep.h"
#include "sim/audio/Value.h"

// The property values the sweep stores: every type the audio service can hand out, with what a
// reader must make of each, written out from the value layouts rather than from the program.
namespace badinput {

struct PropertyInput {
    bool present = false;  // absent: the store holds no value, read as VT_EMPTY
    sim::audio::Value value;
    bool readable = true;    // GetValue succeeds
    bool hasNumber = true;   // the value carries a 32-bit number in place, not an address
    ULONG number = 0;        // that number: the payload's first four bytes
    std::vector<BYTE> blob;  // the bytes of a VT_BLOB
    bool isBlob = false;     // VT_BLOB itself (a VT_BLOB_OBJECT is no device format)

    // The word a reader takes: the number, or 0 for a failed read or a value without one.
    ULONG Word() const { return readable && hasNumber ? number : 0; }
};

// One value of any kind; `formatKey` makes some blobs look like AC-3 pass-through formats.
PropertyInput MakePropertyInput(Random& random, bool formatKey);

// Whether a PROPVARIANT of this type carries a 32-bit number in its first payload bytes (an
// inline scalar, the count of a blob or a vector, the low bits of a DECIMAL) rather than an
// address or nothing.
bool CarriesNumber(VARTYPE type);

}  // namespace badinput
