#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the program must make of the stored effect words and device formats, written out here from
// the word layouts, the first-run defaults and the format rules. Nothing here asks the program.
namespace badinput {

// The effect words the load reads, in the order it reads them; the marker is written first.
enum StoredWord : size_t {
    kMode,
    kHeadphone,
    kSelector,
    kExpander,
    kLevel,
    kBass,
    kStoredWords,
    kMarker = kStoredWords,
};
extern const char* const kStoredWordNames[kStoredWords];

// The decoded records, field by field in the order the layouts give them.
struct Records {
    int mode[6];       // enabled, mode option, bits 8-11, bits 4-6, bit 3, bit 0
    int headphone[4];  // enabled, bit-0 option, bits 8-11 option, bits 4-7 option
    int expander[2];   // enabled, bit-0 option
    int level[2];      // enabled, bits 0-3
    int bass[4];       // enabled, bits 0-7, boost level, bits 12-15
};

struct ExpectedWrite {
    size_t word;  // a StoredWord or kMarker
    ULONG value;  // always VT_UI4
};

// A first run on a Speakers endpoint: the records the defaults give, and the marker and the six
// default words in the order they must be written.
Records SpeakerDefaults(std::vector<ExpectedWrite>* writes);

// A later start: every field zeroed, then each word unpacked; the selector 1 is written back as 2
// when it was read and the headphone record just read is off. A word that is not there is read
// as 0, so it is off. One departure: where the headphone read failed or its value holds no number
// (text, an address), the rules would count it as 0 too, but the program leaves the selector, since
// such a word says nothing of the effect; `headphoneFound` is false only then.
Records LoadedRecords(const ULONG (&words)[kStoredWords], bool selectorRead, bool headphoneFound,
                      std::vector<ExpectedWrite>* writes);

// "headphone {1, 5, 0, 0}, expected {1, 6, 0, 0}" for every record that differs; empty if none.
std::string CompareRecords(const Records& held, const Records& expected);

// The rate and valid bits read from a stored device format: only a VT_BLOB of at least a whole
// extensible format (40 bytes) gives them, from bytes 4-7 and 18-19; anything else gives 0 and 0.
struct FormatReading {
    DWORD rate;
    WORD validBits;
};
FormatReading ReadFormat(bool isBlob, const std::vector<BYTE>& blob);

// The device format forcing must write over a stored blob: the blob's first 40 bytes (the rest
// zero), an AC-3 pass-through tag made extensible PCM with 22 extra bytes, the extra size cut to
// the 22 an extensible format has, then stereo 48000 Hz with 24 of 32 bits, front left and right.
// Its length is the 18 bytes of the plain format plus the extra size.
std::vector<BYTE> ForcedFormat(const std::vector<BYTE>& stored);

}  // namespace badinput
