// Property values of every type the audio service can hand out, with strings and blobs of any
// length, for every key the program reads: the effect words, the first-run marker and the
// headphone selector from the FX store; the form factor and the device format from the endpoint's
// own store. The service's blocks are guarded (GuardingMallocSpy). Every VARTYPE is also read in
// place, from a PROPVARIANT at the very end of a page.
#include <windows.h>
#include <mmreg.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/badinput/GuardedMemory.h"
#include "bench/badinput/GuardingMallocSpy.h"
#include "bench/badinput/Kinds.h"
#include "framework/CComPtr.h"
#include "framework/PropVariantPayload.h"
#include "fxstore/EffectState.h"
#include "fxstore/EffectWords.h"
#include "fxstore/EndpointFormat.h"
#include "fxstore/FxPropertyStore.h"
#include "sim/machine/EffectKeys.h"
#include "sim/audio/AudioService.h"
#include "sim/platform/WindowsVersion.h"

namespace keys = sim::keys;

namespace badinput {
namespace {

using sim::audio::Store;
using sim::audio::Value;

constexpr wchar_t kSpeakersId[] = L"{0.0.0.00000000}.{7d1e0a52-94c3-4f8b-a6e0-2b5c8d3f1e47}";

// A fresh service every so many inputs keeps its logs short.
constexpr size_t kInputsPerService = 500;

// The types the service stores inline, with their sizes.
struct ScalarType {
    VARTYPE type;
    size_t size;
};
const std::vector<ScalarType> kScalars = {{VT_EMPTY, 0}, {VT_NULL, 0}, {VT_I1, 1},      {VT_UI1, 1},
                                          {VT_I2, 2},    {VT_UI2, 2},  {VT_BOOL, 2},    {VT_I4, 4},
                                          {VT_UI4, 4},   {VT_INT, 4},  {VT_UINT, 4},    {VT_R4, 4},
                                          {VT_ERROR, 4}, {VT_I8, 8},   {VT_UI8, 8},     {VT_R8, 8},
                                          {VT_CY, 8},    {VT_DATE, 8}, {VT_FILETIME, 8}};

// A value as the service will hand it out, with what the program must make of it.
struct Input {
    bool present = false;
    Value value;
    bool readable = true;    // GetValue succeeds
    bool hasNumber = true;   // the value carries a 32-bit number
    ULONG number = 0;        // that number
    std::vector<BYTE> blob;  // the bytes of a VT_BLOB
    bool isBlob = false;

    ULONG Word() const { return readable && hasNumber ? number : 0; }
};

Input MakeInput(Random& random, bool formatKey) {
    Input input;
    input.present = !random.OneIn(12);
    if (!input.present) {
        return input;  // reads as VT_EMPTY
    }
    switch (random.Between(0, 9)) {
        case 0:
        case 1:
        case 2: {
            const ScalarType& scalar = random.Pick(kScalars);
            ULONGLONG payload = static_cast<ULONGLONG>(random.Word()) << 32 | random.Word();
            if (random.OneIn(2)) {
                payload = random.Between(0, 12);  // the listed form factors and selector values
            }
            input.value = Value::Scalar(scalar.type, payload);
            ULONGLONG kept =
                scalar.size >= 8 ? payload : payload & ((1ULL << (8 * scalar.size)) - 1);
            input.number = static_cast<ULONG>(kept);
            break;
        }
        case 3: {
            std::wstring text(random.Between(0, 600), L'\0');
            for (wchar_t& unit : text) {
                unit = static_cast<wchar_t>(random.Between(0, 0xFFFF));
            }
            input.value = random.OneIn(2) ? Value::String(text) : Value::Bstr(text);
            input.hasNumber = false;
            break;
        }
        case 4: {
            GUID id;
            std::vector<BYTE> bytes = random.Bytes(sizeof id);
            std::memcpy(&id, bytes.data(), sizeof id);
            PROPVARIANT source;
            PropVariantInit(&source);
            source.vt = VT_CLSID;
            source.puuid = &id;
            Value::FromPropVariant(source, &input.value);
        }
            input.hasNumber = false;
            break;
        case 5:
        case 6: {
            size_t size;
            switch (random.Between(0, 3)) {
                case 0: size = random.Between(0, 24); break;
                case 1: size = random.Between(36, 44); break;  // around a whole extensible format
                case 2: size = random.Between(45, 400); break;
                default: size = random.Between(0, 64); break;
            }
            input.blob = random.Bytes(size);
            if (formatKey && size >= 18 && random.OneIn(3)) {
                input.blob[0] = 0x92;  // WAVE_FORMAT_DOLBY_AC3_SPDIF
                input.blob[1] = 0x00;
            }
            input.value = Value::Blob(input.blob);
            input.isBlob = true;
            input.number = static_cast<ULONG>(size);
            break;
        }
        case 7:
        case 8: {
            // No vector of VT_INT or VT_UINT: PROPVARIANT has none, and PropVariantClear would
            // refuse it and keep its block.
            ScalarType element = random.Pick(kScalars);
            while (element.size == 0 || element.type == VT_INT || element.type == VT_UINT) {
                element = random.Pick(kScalars);
            }
            size_t count = random.Between(0, 40);
            input.value = Value::Vector(element.type, random.Bytes(count * element.size));
            input.number = static_cast<ULONG>(count);  // a vector's count comes first
            break;
        }
        default: {
            // A type the service cannot hand out: GetValue fails.
            static const VARTYPE kOthers[] = {VT_DISPATCH,
                                              VT_VARIANT,
                                              VT_UNKNOWN,
                                              VT_DECIMAL,
                                              VT_LPSTR,
                                              VT_STREAM,
                                              VT_ARRAY | VT_UI4,
                                              VT_BYREF | VT_I4,
                                              VT_CF,
                                              VT_VECTOR | VT_VARIANT,
                                              0x7FFF};
            VARTYPE type = random.OneIn(2)
                               ? kOthers[random.Between(0, sizeof kOthers / sizeof *kOthers - 1)]
                               : static_cast<VARTYPE>(random.Between(0x49, 0xFFF));
            input.value = Value::Scalar(type, 0);
            input.readable = false;
            break;
        }
    }
    return input;
}

void Put(sim::audio::AudioService& service, Store store, const PROPERTYKEY& key,
         const Input& input) {
    if (input.present) {
        service.SetProperty(store, kSpeakersId, key, input.value);
    } else {
        service.RemoveProperty(store, kSpeakersId, key);
    }
}

// The device format ForceStereo48kFormat must write for the stored blob: the stored bytes (at
// most a whole extensible format), the extension size cut to 22, stereo 48 kHz with 24 of 32
// bits; an AC-3 format becomes extensible PCM.
std::vector<BYTE> ForcedFormat(const std::vector<BYTE>& stored) {
    WAVEFORMATEXTENSIBLE format = {};
    std::memcpy(&format, stored.data(), std::min(stored.size(), sizeof format));
    if (format.Format.wFormatTag == WAVE_FORMAT_DOLBY_AC3_SPDIF) {
        format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        format.SubFormat = {
            0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
        format.Format.cbSize = 22;
    }
    if (format.Format.cbSize > 22) {
        format.Format.cbSize = 22;
    }
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = 48000;
    format.Format.nAvgBytesPerSec = 384000;
    format.Format.nBlockAlign = 8;
    format.Format.wBitsPerSample = 32;
    format.Samples.wValidBitsPerSample = 24;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&format);
    return std::vector<BYTE>(bytes, bytes + sizeof(WAVEFORMATEX) + format.Format.cbSize);
}

struct EffectKey {
    const char* name;
    const PROPERTYKEY& key;
};
const EffectKey kEffectKeys[] = {
    {"mode word", keys::ModeWord},         {"headphone", keys::Headphone},
    {"selector", keys::HeadphoneSelector}, {"sound space expander", keys::SoundSpaceExpander},
    {"level word", keys::LevelWord},       {"natural bass", keys::NaturalBass}};
constexpr size_t kEffectKeyCount = sizeof kEffectKeys / sizeof *kEffectKeys;

std::string Mismatch(const char* what, ULONGLONG got, ULONGLONG expected, const Input& input) {
    return std::string(what) + " " + Hex(got) + ", expected " + Hex(expected) + " (" +
           (input.present ? input.value.Describe() : "absent") + ")";
}

// One input: a value for every key, then every reader.
void RunInput(Random& random, sim::audio::AudioService& service, IPropertyStore* fxStore,
              Tally& tally) {
    Input effect[kEffectKeyCount];
    for (size_t k = 0; k < kEffectKeyCount; ++k) {
        effect[k] = MakeInput(random, false);
        Put(service, Store::Fx, kEffectKeys[k].key, effect[k]);
    }
    Input marker = MakeInput(random, false);
    Input formFactor = MakeInput(random, false);
    Input format = MakeInput(random, true);
    Put(service, Store::Fx, keys::FirstRunMarker, marker);
    Put(service, Store::Endpoint, PKEY_AudioEndpoint_FormFactor, formFactor);
    Put(service, Store::Endpoint, PKEY_AudioEngine_DeviceFormat, format);
    service.ClearWrites();

    std::vector<std::string> mismatches;
    ScopedCoTaskMemGuard guard;
    for (size_t k = 0; k < kEffectKeyCount; ++k) {
        DWORD word = 0xFEEDF00D;
        HRESULT hr = ReadEffectWord(fxStore, kEffectKeys[k].key, &word);
        if (word != effect[k].Word() || SUCCEEDED(hr) != effect[k].readable) {
            mismatches.push_back(Mismatch(kEffectKeys[k].name, word, effect[k].Word(), effect[k]));
        }
    }

    ULONG expectedFactor = formFactor.readable && formFactor.hasNumber
                               ? formFactor.number
                               : static_cast<ULONG>(UnknownFormFactor);
    int factor = GetEndpointFormFactor(kSpeakersId);
    if (static_cast<ULONG>(factor) != expectedFactor) {
        mismatches.push_back(
            Mismatch("form factor", static_cast<ULONG>(factor), expectedFactor, formFactor));
    }

    DWORD rate = 1;
    WORD bits = 1;
    HRESULT hr = GetEndpointDeviceFormat(kSpeakersId, &rate, &bits);
    DWORD expectedRate = 0;
    WORD expectedBits = 0;
    if (format.isBlob && format.blob.size() >= sizeof(WAVEFORMATEXTENSIBLE)) {
        std::memcpy(&expectedRate, format.blob.data() + 4, sizeof expectedRate);
        std::memcpy(&expectedBits, format.blob.data() + 18, sizeof expectedBits);
    }
    if (SUCCEEDED(hr) != format.readable || rate != expectedRate || bits != expectedBits) {
        mismatches.push_back(Mismatch("device format", static_cast<ULONGLONG>(rate) << 16 | bits,
                                      static_cast<ULONGLONG>(expectedRate) << 16 | expectedBits,
                                      format));
    }

    // Forcing the format writes it only over a stored blob, and the speaker masks only for a
    // Speakers form factor.
    service.ClearWrites();
    BOOL forced = ForceStereo48kFormat(kSpeakersId);
    std::vector<sim::audio::WriteRecord> writes = service.Writes();
    bool expectWrite = format.readable && format.isBlob;
    BOOL expectedForced = format.readable ? TRUE : FALSE;
    if (expectWrite) {
        std::vector<BYTE> expectedFormat = ForcedFormat(format.blob);
        bool speakers = formFactor.readable && formFactor.Word() == Speakers;
        size_t expectedWrites = speakers ? 3 : 1;
        if (writes.size() != expectedWrites || writes[0].value.Bytes() != expectedFormat) {
            mismatches.push_back(
                "forced format: " + std::to_string(writes.size()) + " write(s), first " +
                (writes.empty() ? std::string("none") : writes[0].value.Describe()) + " over " +
                format.value.Describe());
        }
        expectedForced = formFactor.readable ? TRUE : FALSE;
    } else if (!writes.empty()) {
        mismatches.push_back("forced format wrote over " +
                             (format.present ? format.value.Describe() : std::string("nothing")));
    }
    if (forced != expectedForced) {
        mismatches.push_back("forced format returned " + std::to_string(forced));
    }

    // The marker decides between writing the defaults and loading the stored words; with the
    // headphone effect off, selector 1 is written back as 2.
    service.ClearWrites();
    CComPtr<IMMDeviceEnumerator> enumerator;
    CComPtr<IMMDevice> device;
    CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                     reinterpret_cast<void**>(&enumerator));
    if (enumerator) {
        enumerator->GetDevice(kSpeakersId, &device);
    }
    LoadEffectState(fxStore, device.Get(), Speakers);
    // A marker that cannot be read says nothing either way: the stored words load.
    bool firstRun = marker.readable && !(marker.present && marker.value.Type() == VT_UI4);
    bool markerWritten = false;
    bool selectorWritten = false;
    for (const sim::audio::WriteRecord& write : service.Writes()) {
        markerWritten |= IsEqualPropertyKey(write.key, keys::FirstRunMarker);
        selectorWritten |= IsEqualPropertyKey(write.key, keys::HeadphoneSelector);
    }
    if (markerWritten != firstRun) {
        mismatches.push_back(std::string("first run ") + (markerWritten ? "taken" : "missed") +
                             " with marker " + marker.value.Describe());
    }
    if (!firstRun) {
        // Only a headphone word read and found off sends the selector back.
        const Input& headphone = effect[1];
        bool headphoneFound = headphone.readable && headphone.present && headphone.hasNumber &&
                              headphone.value.Type() != VT_EMPTY &&
                              headphone.value.Type() != VT_NULL;
        bool selectorBack = effect[2].readable && effect[2].Word() == 1 && headphoneFound &&
                            !(headphone.Word() & 0x80000000);
        // Natural Bass: bit 31 on, bits 0-7, the boost level in bits 8-11, bits 12-15.
        DWORD word = effect[5].Word();
        NaturalBassSettings bass = {static_cast<int>(word >> 31), static_cast<int>(word & 0xFF),
                                    static_cast<int>((word >> 8) & 0xF),
                                    static_cast<int>((word >> 12) & 0xF)};
        if (selectorWritten != selectorBack ||
            std::memcmp(&bass, &g_naturalBass, sizeof bass) != 0) {
            mismatches.push_back("stored words loaded wrong: selector " +
                                 effect[2].value.Describe() + ", bass " +
                                 effect[5].value.Describe());
        }
    }
    device.Release();
    enumerator.Release();
    tally.Judge(mismatches);
}

// The payload types that carry a number in place.
bool CarriesNumber(VARTYPE type) {
    if ((type & VT_VECTOR) && !(type & (VT_ARRAY | VT_BYREF))) {
        return true;
    }
    static const VARTYPE kInline[] = {VT_EMPTY,    VT_NULL,    VT_I1,  VT_UI1,  VT_I2,   VT_UI2,
                                      VT_I4,       VT_UI4,     VT_INT, VT_UINT, VT_I8,   VT_UI8,
                                      VT_R4,       VT_R8,      VT_CY,  VT_DATE, VT_BOOL, VT_ERROR,
                                      VT_FILETIME, VT_DECIMAL, VT_BLOB};
    for (VARTYPE listed : kInline) {
        if (type == listed) {
            return true;
        }
    }
    return false;
}

// Every VARTYPE in turn (then random ones), read from a PROPVARIANT that ends a page.
void RunInPlace(Random& random, size_t index, Tally& tally) {
    VARTYPE type = index <= 0xFFFF ? static_cast<VARTYPE>(index)
                                   : static_cast<VARTYPE>(random.Between(0, 0xFFFF));
    GuardedBuffer place(sizeof(PROPVARIANT));
    std::vector<BYTE> bytes = random.Bytes(sizeof(PROPVARIANT));
    std::memcpy(place.Data(), bytes.data(), bytes.size());
    PROPVARIANT* value = place.As<PROPVARIANT>();
    value->vt = type;
    ULONG payload = 0xFEEDF00D;
    bool carries = GetPropVariantPayload32(*value, &payload);
    ULONG number;
    std::memcpy(&number, bytes.data() + 8, sizeof number);
    ULONG expected = CarriesNumber(type) ? number : 0;
    if (carries != CarriesNumber(type) || payload != expected) {
        tally.Fail("vt " + Hex(type) + " read " + Hex(payload) + ", expected " + Hex(expected));
    } else {
        tally.Pass();
    }
}

}  // namespace

bool SweepPropertyValues(const SweepOptions& options) {
    Random random(options.seed ^ 0x70726F70);
    Tally tally("bad property values");
    Tally inPlace("bad VARTYPEs read in place");
    size_t blocksAtStart = LiveCoTaskMemBlocks();
    sim::ScopedWindowsVersion windows7(6, 1);

    for (size_t first = 0; first < options.count; first += kInputsPerService) {
        std::shared_ptr<sim::audio::AudioService> service = sim::audio::AudioService::Start();
        service->AddEndpoint(kSpeakersId);
        {
            CComPtr<IPropertyStore> fxStore;
            OpenFxPropertyStore(kSpeakersId, &fxStore);
            for (size_t i = first; i < options.count && i < first + kInputsPerService; ++i) {
                SetCurrentInput("bad property values", i);
                RunInput(random, *service, fxStore.Get(), tally);
                SetCurrentInput("bad VARTYPEs read in place", i);
                RunInPlace(random, i, inPlace);
            }
        }
        service->Stop();
        std::string left = sim::audio::DescribeLeftovers(*service);
        tally.LeftBehind(left.empty() ? 0 : 1, left);
    }

    size_t leaked = LiveCoTaskMemBlocks() - blocksAtStart;
    tally.LeftBehind(leaked, std::to_string(leaked) + " CoTaskMem block(s)");
    bool clean = tally.Report(options.count);
    return inPlace.Report(options.count) && clean;
}

}  // namespace badinput
