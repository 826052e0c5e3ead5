#include "bench/sweep/EffectRules.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sweep::rules {
namespace {

constexpr DWORD kOn = 0x80000000;

int EnabledOf(DWORD word) {
    return (word & kOn) ? 1 : 0;
}

DWORD OnBit(int enabled) {
    return enabled ? kOn : 0;
}

// The WAVEFORMATEXTENSIBLE fields by byte offset.
constexpr size_t kTag = 0, kChannels = 2, kRate = 4, kBytesPerSecond = 8, kBlockAlign = 12,
                 kBitsPerSample = 14, kExtraSize = 16, kValidBits = 18, kChannelMask = 20,
                 kSubFormat = 24, kWholeFormat = 40;
constexpr WORD kAc3OverSpdif = 0x0092;
constexpr WORD kExtensible = 0xFFFE;
constexpr BYTE kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

template <typename T>
T Field(const std::vector<BYTE>& bytes, size_t offset) {
    T value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

template <typename T>
void SetField(std::vector<BYTE>& bytes, size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

}  // namespace

void Unpack(DWORD word, NaturalBass* record) {
    record->enabled = EnabledOf(word);
    record->bits0to7 = word & 0xFF;
    record->boost = (word >> 8) & 0xF;
    record->bits12to15 = (word >> 12) & 0xF;
}

void Unpack(DWORD word, Expander* record) {
    record->enabled = EnabledOf(word);
    record->bit0 = (word & 1) ? kExpanderBit0Set : kExpanderBit0Clear;
}

void Unpack(DWORD word, Headphone* record) {
    record->enabled = EnabledOf(word);
    record->bit0 = (word & 1) ? kHeadphoneBit0Set : kHeadphoneBit0Clear;
    DWORD bits8to11 = (word >> 8) & 0xF;
    if (bits8to11 == 2 || bits8to11 == 3) {
        record->bits8to11 = bits8to11 == 2 ? kHeadphoneBits8to11Two : kHeadphoneBits8to11Three;
    }
    DWORD bits4to7 = (word >> 4) & 0xF;
    if (bits4to7 >= 1 && bits4to7 <= 3) {
        record->bits4to7 = kHeadphoneBits4to7One + static_cast<int>(bits4to7) - 1;
    }
}

void Unpack(DWORD word, Mode* record) {
    static const int kCodeByField[] = {kModeField0, kModeField1, kModeField2, kModeField3,
                                       kModeField4};
    record->enabled = EnabledOf(word);
    DWORD field = (word >> 21) & 0xF;
    if (field <= 4) {
        record->mode = kCodeByField[field];
    }
    record->bits8to11 = (word >> 8) & 0xF;
    record->bits4to6 = (word >> 4) & 7;
    record->bit3 = (word >> 3) & 1;
    record->bit0 = word & 1;
}

void Unpack(DWORD word, Level* record) {
    record->enabled = EnabledOf(word);
    record->bits0to3 = word & 0xF;
}

DWORD Pack(const NaturalBass& record) {
    return OnBit(record.enabled) | DWORD(record.bits12to15) << 12 | DWORD(record.boost) << 8 |
           DWORD(record.bits0to7);
}

DWORD Pack(const Expander& record) {
    return OnBit(record.enabled) | (record.bit0 == kExpanderBit0Set ? 1 : 0);
}

DWORD Pack(const Headphone& record) {
    DWORD word = OnBit(record.enabled) | (record.bit0 == kHeadphoneBit0Set ? 1 : 0);
    if (record.bits8to11 == kHeadphoneBits8to11Two) {
        word |= 2 << 8;
    } else if (record.bits8to11 == kHeadphoneBits8to11Three) {
        word |= 3 << 8;
    }
    if (record.bits4to7 >= kHeadphoneBits4to7One && record.bits4to7 <= kHeadphoneBits4to7Three) {
        word |= DWORD(record.bits4to7 - kHeadphoneBits4to7One + 1) << 4;
    }
    return word;
}

DWORD Pack(const Mode& record) {
    static const DWORD kFieldByCode[] = {3, 2, 0, 1, 4};
    DWORD field = record.mode >= 0 && record.mode <= 4 ? kFieldByCode[record.mode] : 0;
    return OnBit(record.enabled) | field << 21 | DWORD(record.bits8to11) << 8 |
           DWORD(record.bits4to6) << 4 | DWORD(record.bit3) << 3 | DWORD(record.bit0);
}

DWORD Pack(const Level& record) {
    return OnBit(record.enabled) | DWORD(record.bits0to3);
}

Defaults DefaultsFor(int formFactor) {
    bool speakers = formFactor == kSpeakers;
    int on = speakers || formFactor == kHeadphones || formFactor == kHeadset ? 1 : 0;
    Defaults defaults;
    defaults.mode = {0, kModeField3, 7, 14, 0, 0};
    defaults.headphone = {on, kHeadphoneBit0Set, kHeadphoneBits8to11Two, kHeadphoneBits4to7One};
    defaults.selector = 2;
    defaults.expander = {speakers ? 1 : 0, kExpanderBit0Set};
    defaults.level = {0, 0};
    defaults.naturalBass = {on, 19, 5, 3};
    return defaults;
}

FormatReading ReadFormat(const sim::audio::Value& value) {
    FormatReading reading;
    if (value.Type() == VT_BLOB && value.Bytes().size() >= kWholeFormat) {
        reading.rate = Field<DWORD>(value.Bytes(), kRate);
        reading.validBits = Field<WORD>(value.Bytes(), kValidBits);
    }
    return reading;
}

bool FormatNeedsForcing(const FormatReading& reading) {
    return (reading.rate != 44100 && reading.rate != 48000) ||
           (reading.validBits != 24 && reading.validBits != 16);
}

// The sweep's machines hold extensible formats, whose extra bytes the service takes whole.
std::optional<sim::audio::Value> ForcedFormat(const sim::audio::Value& stored) {
    if (stored.Type() != VT_BLOB) {
        return std::nullopt;
    }
    std::vector<BYTE> format(kWholeFormat, 0);
    std::copy_n(stored.Bytes().begin(), std::min(stored.Bytes().size(), kWholeFormat),
                format.begin());
    if (Field<WORD>(format, kTag) == kAc3OverSpdif) {
        SetField<WORD>(format, kTag, kExtensible);
        std::memcpy(format.data() + kSubFormat, kPcmSubFormat, sizeof kPcmSubFormat);
        SetField<WORD>(format, kExtraSize, 22);
    }
    SetField<WORD>(format, kChannels, 2);
    SetField<DWORD>(format, kRate, 48000);
    SetField<DWORD>(format, kBytesPerSecond, 384000);
    SetField<WORD>(format, kBlockAlign, 8);
    SetField<WORD>(format, kBitsPerSample, 32);
    SetField<WORD>(format, kValidBits, 24);
    SetField<DWORD>(format, kChannelMask, 3);
    size_t kept = std::min<size_t>(18 + Field<WORD>(format, kExtraSize), kWholeFormat);
    format.resize(kept);
    return sim::audio::Value::Blob(format);
}

}  // namespace sweep::rules
