// Property values of every type the audio service can hand out, with strings, blobs, vectors and
// arrays of any length, for every key the program reads: the effect words, the first-run marker
// and the headphone selector from the FX store; the form factor and the device format from the
// endpoint's own store. The service's blocks are guarded (GuardingMallocSpy), and every block and
// object it hands out must come back. Every VARTYPE is also read in place, from a PROPVARIANT at
// the very end of a page. What the program must make of each value is written out here from the
// word layouts and the format rules, never asked of the program.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/badinput/GuardedMemory.h"
#include "bench/badinput/GuardingMallocSpy.h"
#include "bench/badinput/Kinds.h"
#include "bench/badinput/PropertyInputs.h"
#include "bench/badinput/StoredWords.h"
#include "framework/CComPtr.h"
#include "framework/PropVariantPayload.h"
#include "fxstore/EffectState.h"
#include "fxstore/EffectWords.h"
#include "fxstore/EndpointFormat.h"
#include "fxstore/FxPropertyStore.h"
#include "sim/audio/AudioService.h"
#include "sim/machine/EffectKeys.h"
#include "sim/platform/WindowsVersion.h"

namespace keys = sim::keys;

namespace badinput {
namespace {

using sim::audio::Store;
using sim::audio::Value;

constexpr wchar_t kSpeakersId[] = L"{0.0.0.00000000}.{7d1e0a52-94c3-4f8b-a6e0-2b5c8d3f1e47}";
// Windows' form factor numbers.
constexpr int kSpeakers = 1;
constexpr ULONG kUnknownFormFactor = 10;

// The endpoint keys written besides the format, {1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E} 3 and 6.
constexpr GUID kEndpointKeys = {
    0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}};
constexpr PROPERTYKEY kPhysicalSpeakers = {kEndpointKeys, 3};
constexpr PROPERTYKEY kFullRangeSpeakers = {kEndpointKeys, 6};
constexpr PROPERTYKEY kDeviceFormat = {
    {0xF19F064D, 0x082C, 0x4E27, {0xBC, 0x73, 0x68, 0x82, 0xA1, 0xBB, 0x8E, 0x4C}}, 0};

// A fresh service every so many inputs keeps its logs short.
constexpr size_t kInputsPerService = 500;

void Put(sim::audio::AudioService& service, Store store, const PROPERTYKEY& key,
         const PropertyInput& input) {
    if (input.present) {
        service.SetProperty(store, kSpeakersId, key, input.value);
    } else {
        service.RemoveProperty(store, kSpeakersId, key);
    }
}

// The six effect words, in the order StoredWords lists them.
const PROPERTYKEY* const kEffectKeys[kStoredWords] = {
    &keys::ModeWord,           &keys::Headphone, &keys::HeadphoneSelector,
    &keys::SoundSpaceExpander, &keys::LevelWord, &keys::NaturalBass};

std::string Describe(const PropertyInput& input) {
    return input.present ? input.value.Describe() : "absent";
}

std::string Mismatch(const char* what, ULONGLONG got, ULONGLONG expected,
                     const PropertyInput& input) {
    return std::string(what) + " " + Hex(got) + ", expected " + Hex(expected) + " (" +
           Describe(input) + ")";
}

bool IsWrite(const sim::audio::WriteRecord& write, const PROPERTYKEY& key, ULONG word) {
    return IsEqualPropertyKey(write.key, key) && write.value.Type() == VT_UI4 &&
           write.value.UInt32() == word;
}

// The records as the program holds them after the load.
Records HeldRecords() {
    return {{g_modeWord.enabled, g_modeWord.modeOption, g_modeWord.bits8to11, g_modeWord.bits4to6,
             g_modeWord.bit3, g_modeWord.bit0},
            {g_headphone.enabled, g_headphone.bit0Option, g_headphone.bits8to11Option,
             g_headphone.bits4to7Option},
            {g_soundSpaceExpander.enabled, g_soundSpaceExpander.bit0Option},
            {g_levelWord.enabled, g_levelWord.bits0to3},
            {g_naturalBass.enabled, g_naturalBass.bits0to7, g_naturalBass.boostLevel,
             g_naturalBass.bits12to15}};
}

// Forcing the format writes it only over a stored VT_BLOB, then the speaker masks only for a
// form factor of Speakers.
void CheckForcedFormat(sim::audio::AudioService& service, const PropertyInput& formFactor,
                       const PropertyInput& format, std::vector<std::string>& mismatches) {
    service.ClearWrites();
    BOOL forced = ForceStereo48kFormat(kSpeakersId);
    std::vector<sim::audio::WriteRecord> writes = service.Writes();
    BOOL expectedForced = format.readable ? TRUE : FALSE;
    if (format.readable && format.isBlob) {
        bool speakers = formFactor.readable && formFactor.Word() == kSpeakers;
        bool asExpected = writes.size() == (speakers ? 3u : 1u) &&
                          IsEqualPropertyKey(writes[0].key, kDeviceFormat) &&
                          writes[0].value.Bytes() == ForcedFormat(format.blob);
        if (asExpected && speakers) {
            asExpected = IsWrite(writes[1], kPhysicalSpeakers, 3) &&
                         IsWrite(writes[2], kFullRangeSpeakers, 3);
        }
        if (!asExpected) {
            mismatches.push_back(
                "forced format: " + std::to_string(writes.size()) + " write(s), first " +
                (writes.empty() ? std::string("none") : writes[0].value.Describe()) + " over " +
                format.value.Describe() + ", form factor " + Describe(formFactor));
        }
        expectedForced = formFactor.readable ? TRUE : FALSE;
    } else if (!writes.empty()) {
        mismatches.push_back("forced format wrote over " + Describe(format));
    }
    if (forced != expectedForced) {
        mismatches.push_back("forced format returned " + std::to_string(forced));
    }
}

// The marker decides between writing the defaults and loading the stored words.
void CheckLoad(sim::audio::AudioService& service, IPropertyStore* fxStore,
               const PropertyInput (&effect)[kStoredWords], const PropertyInput& marker,
               std::vector<std::string>& mismatches) {
    service.ClearWrites();
    CComPtr<IMMDeviceEnumerator> enumerator;
    CComPtr<IMMDevice> device;
    CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                     reinterpret_cast<void**>(&enumerator));
    if (enumerator) {
        enumerator->GetDevice(kSpeakersId, &device);
    }
    LoadEffectState(fxStore, device.Get(), kSpeakers);
    device.Release();
    enumerator.Release();

    // A first run when the store holds no marker or one of another type; a marker that cannot
    // be read says nothing either way, and the stored words load.
    bool firstRun = marker.readable && !(marker.present && marker.value.Type() == VT_UI4);
    std::vector<sim::audio::WriteRecord> writes = service.Writes();
    std::vector<ExpectedWrite> expectedWrites;
    Records expected;
    if (firstRun) {
        expected = SpeakerDefaults(&expectedWrites);
    } else {
        ULONG words[kStoredWords];
        bool selectorRead = effect[kSelector].readable;
        const PropertyInput& headphone = effect[kHeadphone];
        // A headphone word that is not there reads as 0, so as off; one whose read failed or
        // that holds no number is let off the rule (see LoadedRecords).
        bool headphoneFound = headphone.readable && headphone.hasNumber;
        for (size_t k = 0; k < kStoredWords; ++k) {
            words[k] = effect[k].Word();
        }
        expected = LoadedRecords(words, selectorRead, headphoneFound, &expectedWrites);
    }
    bool writesAsExpected = writes.size() == expectedWrites.size();
    for (size_t i = 0; writesAsExpected && i < writes.size(); ++i) {
        const PROPERTYKEY& key = expectedWrites[i].word == kMarker
                                     ? keys::FirstRunMarker
                                     : *kEffectKeys[expectedWrites[i].word];
        writesAsExpected = IsWrite(writes[i], key, expectedWrites[i].value);
    }
    if (!writesAsExpected) {
        mismatches.push_back(std::string(firstRun ? "first run" : "later start") + " wrote " +
                             std::to_string(writes.size()) + " value(s), expected " +
                             std::to_string(expectedWrites.size()) + "; marker " +
                             Describe(marker));
    }
    std::string differences = CompareRecords(HeldRecords(), expected);
    if (!differences.empty()) {
        mismatches.push_back(std::string(firstRun ? "defaults" : "stored words") + " loaded as " +
                             differences + "; marker " + Describe(marker));
    }
}

// One input: a value for every key, then every reader.
void RunInput(Random& random, sim::audio::AudioService& service, IPropertyStore* fxStore,
              Tally& tally) {
    PropertyInput effect[kStoredWords];
    for (size_t k = 0; k < kStoredWords; ++k) {
        effect[k] = MakePropertyInput(random, false);
        Put(service, Store::Fx, *kEffectKeys[k], effect[k]);
    }
    PropertyInput marker = MakePropertyInput(random, false);
    PropertyInput formFactor = MakePropertyInput(random, false);
    PropertyInput format = MakePropertyInput(random, true);
    Put(service, Store::Fx, keys::FirstRunMarker, marker);
    Put(service, Store::Endpoint, PKEY_AudioEndpoint_FormFactor, formFactor);
    Put(service, Store::Endpoint, kDeviceFormat, format);
    service.ClearWrites();

    std::vector<std::string> mismatches;
    ScopedCoTaskMemGuard guard;
    for (size_t k = 0; k < kStoredWords; ++k) {
        DWORD word = 0xFEEDF00D;
        HRESULT hr = ReadEffectWord(fxStore, *kEffectKeys[k], &word);
        if (word != effect[k].Word() || SUCCEEDED(hr) != effect[k].readable) {
            mismatches.push_back(Mismatch(kStoredWordNames[k], word, effect[k].Word(), effect[k]));
        }
    }

    // A form factor that cannot be read, or carries no number, is the unknown one.
    ULONG expectedFactor =
        formFactor.readable && formFactor.hasNumber ? formFactor.number : kUnknownFormFactor;
    int factor = GetEndpointFormFactor(kSpeakersId);
    if (static_cast<ULONG>(factor) != expectedFactor) {
        mismatches.push_back(
            Mismatch("form factor", static_cast<ULONG>(factor), expectedFactor, formFactor));
    }

    DWORD rate = 1;
    WORD bits = 1;
    HRESULT hr = GetEndpointDeviceFormat(kSpeakersId, &rate, &bits);
    FormatReading expectedFormat = ReadFormat(format.isBlob, format.blob);
    if (SUCCEEDED(hr) != format.readable || rate != expectedFormat.rate ||
        bits != expectedFormat.validBits) {
        mismatches.push_back(Mismatch(
            "device format", static_cast<ULONGLONG>(rate) << 16 | bits,
            static_cast<ULONGLONG>(expectedFormat.rate) << 16 | expectedFormat.validBits, format));
    }

    CheckForcedFormat(service, formFactor, format, mismatches);
    CheckLoad(service, fxStore, effect, marker, mismatches);
    tally.Judge(mismatches);
}

// Every VARTYPE in turn (then random ones), read from a PROPVARIANT that ends a page. The reads
// run on their own, with no audio service about, so that what they hold afterwards is theirs.
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
    ProcessHoldings holdings(ProcessHoldings::Looks::ForBlocksOnly);
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
            }
        }
        service->Stop();
        std::string left = sim::audio::DescribeLeftovers(*service);
        tally.LeftBehind("audio stand-in leftovers", left.empty() ? 0 : 1, left);
    }
    holdings.LeftBehindSince(tally);
    bool clean = tally.Report(options.count);

    Random inPlaceRandom(options.seed ^ 0x76617274);
    Tally inPlace("bad VARTYPEs read in place");
    ProcessHoldings inPlaceHoldings;
    for (size_t i = 0; i < options.count; ++i) {
        SetCurrentInput("bad VARTYPEs read in place", i);
        RunInPlace(inPlaceRandom, i, inPlace);
    }
    inPlaceHoldings.LeftBehindSince(inPlace);
    return inPlace.Report(options.count) && clean;
}

}  // namespace badinput
