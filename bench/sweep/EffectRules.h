#pragma once

#include <windows.h>

#include <optional>

#include "sim/audio/Value.h"

// The effect words as the program's rules lay them out, written down here on their own so that the
// sweep can say what each command must write without asking the program: the option codes, the
// bit layouts, the first-run defaults and the forced device format.
namespace sweep::rules {

// One numbering for every coded field.
enum Code : int {
    kModeField3 = 0,
    kModeField2 = 1,
    kModeField0 = 2,
    kModeField1 = 3,
    kModeField4 = 4,
    kHeadphoneBit0Clear = 5,
    kHeadphoneBit0Set = 6,
    kHeadphoneBits8to11Two = 7,
    kHeadphoneBits8to11Three = 8,
    kHeadphoneBits4to7One = 9,
    kHeadphoneBits4to7Two = 10,
    kHeadphoneBits4to7Three = 11,
    kExpanderBit0Clear = 12,
    kExpanderBit0Set = 13,
};

struct NaturalBass {
    int enabled = 0, bits0to7 = 0, boost = 0, bits12to15 = 0;
    bool operator==(const NaturalBass&) const = default;
};
struct Expander {
    int enabled = 0, bit0 = 0;
    bool operator==(const Expander&) const = default;
};
struct Headphone {
    int enabled = 0, bit0 = 0, bits8to11 = 0, bits4to7 = 0;
    bool operator==(const Headphone&) const = default;
};
struct Mode {
    int enabled = 0, mode = 0, bits8to11 = 0, bits4to6 = 0, bit3 = 0, bit0 = 0;
    bool operator==(const Mode&) const = default;
};
struct Level {
    int enabled = 0, bits0to3 = 0;
    bool operator==(const Level&) const = default;
};

// Unpacking fills a record from a word; a coded field whose bits carry no code keeps its value.
void Unpack(DWORD word, NaturalBass* record);
void Unpack(DWORD word, Expander* record);
void Unpack(DWORD word, Headphone* record);
void Unpack(DWORD word, Mode* record);
void Unpack(DWORD word, Level* record);

DWORD Pack(const NaturalBass& record);
DWORD Pack(const Expander& record);
DWORD Pack(const Headphone& record);
DWORD Pack(const Mode& record);
DWORD Pack(const Level& record);

// Form factors the rules tell apart.
inline constexpr int kSpeakers = 1;
inline constexpr int kHeadphones = 3;
inline constexpr int kHeadset = 5;
inline constexpr int kUnknownFormFactor = 10;

// What a first run writes, by form factor, and the records it leaves.
struct Defaults {
    Mode mode;
    Headphone headphone;
    DWORD selector;
    Expander expander;
    Level level;
    NaturalBass naturalBass;
};
Defaults DefaultsFor(int formFactor);

// The device format as the page's format check reads it: the rate and valid bits of a whole
// WAVEFORMATEXTENSIBLE, 0 and 0 for anything shorter or of another type.
struct FormatReading {
    DWORD rate = 0;
    WORD validBits = 0;
};
FormatReading ReadFormat(const sim::audio::Value& value);
// Whether the check forces stereo 48000 Hz for that reading.
bool FormatNeedsForcing(const FormatReading& reading);
// The format the forcing writes over the stored one (a blob), as the service keeps it: the
// header and cbSize bytes more. Nothing when the stored value is no blob.
std::optional<sim::audio::Value> ForcedFormat(const sim::audio::Value& stored);

}  // namespace sweep::rules
