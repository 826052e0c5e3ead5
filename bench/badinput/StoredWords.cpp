#include "bench/badinput/StoredWords.h"

#include <algorithm>

namespace badinput {

const char* const kStoredWordNames[kStoredWords] = {
    "mode word", "headphone", "selector", "sound space expander", "level word", "natural bass"};

namespace {

int Bit31(ULONG word) {
    return static_cast<int>(word >> 31);
}

int Field(ULONG word, int shift, ULONG mask) {
    return static_cast<int>((word >> shift) & mask);
}

// The option code listed for a field value, or `other` (what the zeroed record holds).
int Code(int value, std::initializer_list<std::pair<int, int>> codes, int other) {
    for (auto [listed, code] : codes) {
        if (value == listed) {
            return code;
        }
    }
    return other;
}

template <size_t N>
std::string Fields(const int (&fields)[N]) {
    std::string text = "{";
    for (size_t i = 0; i < N; ++i) {
        text += (i ? ", " : "") + std::to_string(fields[i]);
    }
    return text + "}";
}

template <size_t N>
void Compare(const char* name, const int (&held)[N], const int (&expected)[N], std::string& out) {
    if (!std::equal(held, held + N, expected)) {
        out += (out.empty() ? "" : "; ") + std::string(name) + " " + Fields(held) + ", expected " +
               Fields(expected);
    }
}

constexpr size_t kWholeFormat = 40;

WORD Get16(const std::vector<BYTE>& bytes, size_t at) {
    return static_cast<WORD>(bytes[at] | bytes[at + 1] << 8);
}

void Put16(std::vector<BYTE>& bytes, size_t at, WORD value) {
    bytes[at] = static_cast<BYTE>(value);
    bytes[at + 1] = static_cast<BYTE>(value >> 8);
}

void Put32(std::vector<BYTE>& bytes, size_t at, DWORD value) {
    Put16(bytes, at, static_cast<WORD>(value));
    Put16(bytes, at + 2, static_cast<WORD>(value >> 16));
}

}  // namespace

Records SpeakerDefaults(std::vector<ExpectedWrite>* writes) {
    *writes = {{kMarker, 0},       {kMode, 0x006007E0},     {kHeadphone, 0x80000211},
               {kSelector, 2},     {kExpander, 0x80000001}, {kLevel, 0},
               {kBass, 0x80003513}};
    return {{0, 0, 7, 14, 0, 0}, {1, 6, 7, 9}, {1, 13}, {0, 0}, {1, 19, 5, 3}};
}

Records LoadedRecords(const ULONG (&words)[kStoredWords], bool selectorRead, bool headphoneFound,
                      std::vector<ExpectedWrite>* writes) {
    ULONG mode = words[kMode], headphone = words[kHeadphone], expander = words[kExpander];
    ULONG level = words[kLevel], bass = words[kBass];
    Records records = {
        {Bit31(mode), Code(Field(mode, 21, 0xF), {{3, 0}, {2, 1}, {0, 2}, {1, 3}, {4, 4}}, 0),
         Field(mode, 8, 0xF), Field(mode, 4, 0x7), Field(mode, 3, 0x1), Field(mode, 0, 0x1)},
        {Bit31(headphone), (headphone & 1) ? 6 : 5,
         Code(Field(headphone, 8, 0xF), {{2, 7}, {3, 8}}, 0),
         Code(Field(headphone, 4, 0xF), {{1, 9}, {2, 10}, {3, 11}}, 0)},
        {Bit31(expander), (expander & 1) ? 13 : 12},
        {Bit31(level), Field(level, 0, 0xF)},
        {Bit31(bass), Field(bass, 0, 0xFF), Field(bass, 8, 0xF), Field(bass, 12, 0xF)}};
    writes->clear();
    if (selectorRead && headphoneFound && words[kSelector] == 1 && Bit31(headphone) == 0) {
        writes->push_back({kSelector, 2});
    }
    return records;
}

std::string CompareRecords(const Records& held, const Records& expected) {
    std::string out;
    Compare("mode", held.mode, expected.mode, out);
    Compare("headphone", held.headphone, expected.headphone, out);
    Compare("expander", held.expander, expected.expander, out);
    Compare("level", held.level, expected.level, out);
    Compare("bass", held.bass, expected.bass, out);
    return out;
}

FormatReading ReadFormat(bool isBlob, const std::vector<BYTE>& blob) {
    if (!isBlob || blob.size() < kWholeFormat) {
        return {0, 0};
    }
    return {static_cast<DWORD>(Get16(blob, 4) | Get16(blob, 6) << 16), Get16(blob, 18)};
}

std::vector<BYTE> ForcedFormat(const std::vector<BYTE>& stored) {
    std::vector<BYTE> format(kWholeFormat, 0);
    std::copy_n(stored.begin(), std::min(stored.size(), kWholeFormat), format.begin());
    if (Get16(format, 0) == 0x0092) {
        Put16(format, 0, 0xFFFE);
        // {00000001-0000-0010-8000-00AA00389B71}, as it lies in memory.
        const BYTE pcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                              0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        std::copy_n(pcm, sizeof pcm, format.begin() + 24);
        Put16(format, 16, 22);
    }
    Put16(format, 16, std::min<WORD>(Get16(format, 16), 22));
    Put16(format, 2, 2);       // channels
    Put32(format, 4, 48000);   // samples per second
    Put32(format, 8, 384000);  // average bytes per second
    Put16(format, 12, 8);      // block align
    Put16(format, 14, 32);     // bits per sample
    Put16(format, 18, 24);     // valid bits per sample
    Put32(format, 20, 0x3);    // front left and right
    format.resize(18 + Get16(format, 16));
    return format;
}

}  // namespace badinput
