#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "fxstore/EndpointFormat.h"
#include "tests/fxstore/FxStoreFixture.h"
#include "tests/support/InitializeSpy.h"

namespace {

namespace op = sim::audio::op;

constexpr GUID kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

class EndpointFormat : public FxStoreTest {
protected:
    void SetDeviceFormat(const std::vector<BYTE>& bytes, const std::wstring& id = kSpeakersId) {
        sim->SetProperty(Store::Endpoint, id, PKEY_AudioEngine_DeviceFormat, Value::Blob(bytes));
    }
    void SetDeviceFormat(const WAVEFORMATEXTENSIBLE& format, const std::wstring& id = kSpeakersId) {
        SetDeviceFormat(FormatBytes(format, sizeof format), id);
    }
    WAVEFORMATEXTENSIBLE StoredFormat(const std::wstring& id = kSpeakersId) {
        WAVEFORMATEXTENSIBLE format = {};
        auto value = sim->Property(Store::Endpoint, id, PKEY_AudioEngine_DeviceFormat);
        if (value && value->Type() == VT_BLOB) {
            std::memcpy(&format, value->Bytes().data(),
                        std::min(value->Bytes().size(), sizeof format));
        }
        return format;
    }
    size_t StoredFormatSize() {
        auto value = sim->Property(Store::Endpoint, kSpeakersId, PKEY_AudioEngine_DeviceFormat);
        return value ? value->Bytes().size() : 0;
    }
    static void ExpectForcedFields(const WAVEFORMATEXTENSIBLE& format) {
        EXPECT_EQ(2, format.Format.nChannels);
        EXPECT_EQ(48000u, format.Format.nSamplesPerSec);
        EXPECT_EQ(384000u, format.Format.nAvgBytesPerSec);
        EXPECT_EQ(8, format.Format.nBlockAlign);
        EXPECT_EQ(32, format.Format.wBitsPerSample);
        EXPECT_EQ(24, format.Samples.wValidBitsPerSample);
        EXPECT_EQ(3u, format.dwChannelMask);
    }
};

TEST_F(EndpointFormat, FormFactorIsTheStoredNumberOrUnknown) {
    EXPECT_EQ(1, GetEndpointFormFactor(kSpeakersId));
    SetFormFactor(kSpeakersId, 3);
    EXPECT_EQ(3, GetEndpointFormFactor(kSpeakersId));
    // Any type with a number in it gives that number.
    sim->SetProperty(Store::Endpoint, kSpeakersId, PKEY_AudioEndpoint_FormFactor, Value::Int32(5));
    EXPECT_EQ(5, GetEndpointFormFactor(kSpeakersId));

    // A form factor that is not stored reads as VT_EMPTY with success: its payload, 0.
    sim->RemoveProperty(Store::Endpoint, kSpeakersId, PKEY_AudioEndpoint_FormFactor);
    EXPECT_EQ(0, GetEndpointFormFactor(kSpeakersId));

    EXPECT_EQ(10, GetEndpointFormFactor(L"{0.0.0.00000000}.{no-longer-there}"));
    sim->FailOn(op::OpenPropertyStore, E_ACCESSDENIED, 1);
    EXPECT_EQ(10, GetEndpointFormFactor(kSpeakersId));
    sim->FailOn(op::EndpointStoreGetValue, E_FAIL, 1);
    EXPECT_EQ(10, GetEndpointFormFactor(kSpeakersId));
    sim->FailOn(op::CreateDeviceEnumerator, E_OUTOFMEMORY, 1);
    EXPECT_EQ(10, GetEndpointFormFactor(kSpeakersId));
    sim->SucceedWithNull(op::GetDevice, 1);
    EXPECT_EQ(10, GetEndpointFormFactor(kSpeakersId));
}

TEST_F(EndpointFormat, FormFactorStoredAsAStringIsUnknownNotAnAddress) {
    sim->SetProperty(Store::Endpoint, kSpeakersId, PKEY_AudioEndpoint_FormFactor,
                     Value::String(L"Speakers"));
    EXPECT_EQ(10, GetEndpointFormFactor(kSpeakersId));
}

TEST_F(EndpointFormat, DeviceFormatReportsRateAndValidBitsOfAWholeExtensibleFormat) {
    SetDeviceFormat(ExtensiblePcm(96000, 32, 24));
    DWORD rate = 1;
    WORD bits = 1;
    EXPECT_EQ(Hr(S_OK), Hr(GetEndpointDeviceFormat(kSpeakersId, &rate, &bits)));
    EXPECT_EQ(96000u, rate);
    EXPECT_EQ(24, bits);
}

TEST_F(EndpointFormat, ShortOrOddDeviceFormatsReportZeroWithSuccess) {
    WAVEFORMATEXTENSIBLE plain = ExtensiblePcm(44100, 16, 16);
    plain.Format.wFormatTag = WAVE_FORMAT_PCM;
    plain.Format.cbSize = 0;
    const std::vector<Value> values = {
        Value::Blob(FormatBytes(plain, sizeof(WAVEFORMATEX))), Value::Blob(FormatBytes(plain, 39)),
        // The same 40 bytes as a vector rather than a blob.
        Value::Vector(VT_UI1, FormatBytes(ExtensiblePcm(96000, 32, 24), 40)), Value::UInt32(48000),
        Value::String(L"48000"), Value()};
    for (const Value& value : values) {
        sim->SetProperty(Store::Endpoint, kSpeakersId, PKEY_AudioEngine_DeviceFormat, value);
        DWORD rate = 1;
        WORD bits = 1;
        EXPECT_EQ(Hr(S_OK), Hr(GetEndpointDeviceFormat(kSpeakersId, &rate, &bits)))
            << value.Describe();
        EXPECT_EQ(0u, rate) << value.Describe();
        EXPECT_EQ(0, bits) << value.Describe();
    }
}

TEST_F(EndpointFormat, DeviceFormatTakesBytesFourToSevenAndEighteenToNineteen) {
    for (size_t size : {40, 48}) {
        std::vector<BYTE> bytes(size);
        for (size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<BYTE>(i);
        }
        SetDeviceFormat(bytes);
        DWORD rate = 1;
        WORD bits = 1;
        EXPECT_EQ(Hr(S_OK), Hr(GetEndpointDeviceFormat(kSpeakersId, &rate, &bits))) << size;
        EXPECT_EQ(0x07060504u, rate) << size;
        EXPECT_EQ(0x1312, bits) << size;
    }
}

TEST_F(EndpointFormat, DeviceFormatFailuresComeBackWithZeroes) {
    SetDeviceFormat(ExtensiblePcm(96000, 32, 24));
    DWORD rate = 1;
    WORD bits = 1;
    EXPECT_EQ(Hr(E_NOTFOUND), Hr(GetEndpointDeviceFormat(L"{gone}", &rate, &bits)));
    EXPECT_EQ(0u, rate);
    EXPECT_EQ(0, bits);

    sim->FailOn(op::EndpointStoreGetValue, E_UNEXPECTED, 1);
    rate = 1;
    bits = 1;
    EXPECT_EQ(Hr(E_UNEXPECTED), Hr(GetEndpointDeviceFormat(kSpeakersId, &rate, &bits)));
    EXPECT_EQ(0u, rate);
    EXPECT_EQ(0, bits);

    sim->SucceedWithNull(op::GetDevice, 1);
    EXPECT_EQ(Hr(E_FAIL), Hr(GetEndpointDeviceFormat(kSpeakersId, &rate, &bits)));
}

TEST_F(EndpointFormat, ForcingTurnsAnAc3PassThroughIntoExtensiblePcm) {
    WAVEFORMATEXTENSIBLE ac3 = {};
    ac3.Format.wFormatTag = WAVE_FORMAT_DOLBY_AC3_SPDIF;
    ac3.Format.nChannels = 2;
    ac3.Format.nSamplesPerSec = 48000;
    ac3.Format.wBitsPerSample = 16;
    ac3.Format.nBlockAlign = 4;
    ac3.Format.nAvgBytesPerSec = 192000;
    SetDeviceFormat(FormatBytes(ac3, sizeof(WAVEFORMATEX)));
    SetFormFactor(kSpeakersId, 3);

    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    WAVEFORMATEXTENSIBLE forced = StoredFormat();
    EXPECT_EQ(WAVE_FORMAT_EXTENSIBLE, forced.Format.wFormatTag);
    EXPECT_EQ(22, forced.Format.cbSize);
    EXPECT_EQ(40u, StoredFormatSize());
    EXPECT_TRUE(IsEqualGUID(ExtensiblePcm(0, 0, 0).SubFormat, forced.SubFormat));
    ExpectForcedFields(forced);
}

TEST_F(EndpointFormat, ForcingKeepsTagSubFormatAndSizeOfAnExtensibleFormat) {
    WAVEFORMATEXTENSIBLE surround = ExtensiblePcm(96000, 32, 32, 6);
    surround.SubFormat = kSubtypeFloat;
    SetDeviceFormat(surround);
    SetFormFactor(kSpeakersId, 3);

    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    WAVEFORMATEXTENSIBLE forced = StoredFormat();
    EXPECT_EQ(WAVE_FORMAT_EXTENSIBLE, forced.Format.wFormatTag);
    EXPECT_EQ(22, forced.Format.cbSize);
    EXPECT_TRUE(IsEqualGUID(kSubtypeFloat, forced.SubFormat));
    ExpectForcedFields(forced);

    // Only the AC-3 tag is turned into extensible PCM; plain PCM keeps its tag and size.
    WAVEFORMATEXTENSIBLE plain = ExtensiblePcm(96000, 16, 16);
    plain.Format.wFormatTag = WAVE_FORMAT_PCM;
    plain.Format.cbSize = 0;
    SetDeviceFormat(plain);
    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    forced = StoredFormat();
    EXPECT_EQ(WAVE_FORMAT_PCM, forced.Format.wFormatTag);
    EXPECT_EQ(0, forced.Format.cbSize);
    EXPECT_EQ(sizeof(WAVEFORMATEX), StoredFormatSize());
}

TEST_F(EndpointFormat, ForcingAHeadphonesEndpointWritesOnlyTheFormat) {
    SetDeviceFormat(ExtensiblePcm(96000, 32, 24));
    SetFormFactor(kSpeakersId, 3);
    sim->FailOn(op::WriteEndpointFormat, E_FAIL, 1);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_TRUE(AcceptedWrites().empty());

    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    auto writes = AcceptedWrites();
    ASSERT_EQ(1u, writes.size());
    EXPECT_TRUE(IsEqualPropertyKey(PKEY_AudioEngine_DeviceFormat, writes[0].key));
    EXPECT_FALSE(sim->Property(Store::Endpoint, kSpeakersId, PKEY_AudioEndpoint_PhysicalSpeakers));
}

TEST_F(EndpointFormat, ForcingASpeakersEndpointSetsBothSpeakerMasks) {
    SetDeviceFormat(ExtensiblePcm(192000, 32, 32));
    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    // The form factor comes from a store opened afresh after the format write.
    EXPECT_EQ(2, sim->Calls(op::OpenPropertyStore));

    auto writes = AcceptedWrites();
    ASSERT_EQ(3u, writes.size());
    EXPECT_TRUE(IsEqualPropertyKey(PKEY_AudioEngine_DeviceFormat, writes[0].key));
    EXPECT_TRUE(IsEqualPropertyKey(PKEY_AudioEndpoint_PhysicalSpeakers, writes[1].key));
    EXPECT_TRUE(IsEqualPropertyKey(PKEY_AudioEndpoint_FullRangeSpeakers, writes[2].key));
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(Store::Endpoint, writes[i].store);
        EXPECT_EQ(Value::UInt32(3), writes[i].value);
    }
    ExpectForcedFields(StoredFormat());
}

TEST_F(EndpointFormat, OnlyTheFullRangeMaskDecidesTheResult) {
    SetDeviceFormat(ExtensiblePcm(96000, 32, 24));
    sim->FailOnKey(op::WriteEndpointProperty, PKEY_AudioEndpoint_PhysicalSpeakers, E_ACCESSDENIED);
    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_TRUE(sim->Property(Store::Endpoint, kSpeakersId, PKEY_AudioEndpoint_FullRangeSpeakers));

    sim->ClearFailures();
    sim->FailOnKey(op::WriteEndpointProperty, PKEY_AudioEndpoint_FullRangeSpeakers, E_ACCESSDENIED);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
}

TEST_F(EndpointFormat, ForcingStopsAtEachFailedStep) {
    SetDeviceFormat(ExtensiblePcm(96000, 32, 24));
    sim->FailOn(op::CreateDeviceEnumerator, E_OUTOFMEMORY, 1);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    sim->FailOn(op::OpenPropertyStore, E_ACCESSDENIED, 1);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    sim->FailOn(op::GetDevice, E_NOTFOUND, 1);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    sim->SucceedWithNull(op::GetDevice, 1);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    sim->FailOn(op::EndpointStoreGetValue, E_FAIL, 1);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_TRUE(sim->Writes().empty());

    // The form-factor read after the format write.
    sim->FailOn(op::EndpointStoreGetValue, E_FAIL, 2);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_EQ(1u, AcceptedWrites().size());
    sim->FailOn(op::OpenPropertyStore, E_ACCESSDENIED, 2);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_EQ(2u, AcceptedWrites().size());
}

TEST_F(EndpointFormat, ForcingOnAnUnsupportedWindowsWritesNothing) {
    SetDeviceFormat(ExtensiblePcm(96000, 32, 24));
    sim::ScopedWindowsVersion windows8(6, 2);
    EXPECT_FALSE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_TRUE(sim->Writes().empty());
    EXPECT_EQ(96000u, StoredFormat().Format.nSamplesPerSec);
}

TEST_F(EndpointFormat, AFormatThatIsNotABlobIsLeftAlone) {
    sim->SetProperty(Store::Endpoint, kSpeakersId, PKEY_AudioEngine_DeviceFormat,
                     Value::UInt32(44100));
    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_TRUE(sim->Writes().empty());
}

TEST_F(EndpointFormat, AShortBlobIsCompletedWithZeroes) {
    WAVEFORMATEXTENSIBLE stored = ExtensiblePcm(96000, 32, 24);
    SetDeviceFormat(FormatBytes(stored, 10));
    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    WAVEFORMATEXTENSIBLE forced = StoredFormat();
    EXPECT_EQ(WAVE_FORMAT_EXTENSIBLE, forced.Format.wFormatTag);  // from the first 10 bytes
    EXPECT_EQ(0, forced.Format.cbSize);
    EXPECT_EQ(sizeof(WAVEFORMATEX), StoredFormatSize());
    EXPECT_EQ(48000u, forced.Format.nSamplesPerSec);
}

TEST_F(EndpointFormat, AnOversizedExtraLengthIsCutToTheBytesWeHave) {
    // A stored format claiming 0xFFFF bytes after its header must not make the service read
    // past the 40 bytes that are ours.
    WAVEFORMATEXTENSIBLE stored = ExtensiblePcm(96000, 32, 24);
    stored.Format.cbSize = 0xFFFF;
    SetDeviceFormat(stored);
    SetFormFactor(kSpeakersId, 3);
    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_EQ(22, StoredFormat().Format.cbSize);
    EXPECT_EQ(40u, StoredFormatSize());
}

// Runs body on a fresh thread in a single-threaded apartment of its own, where the service's
// classes are registered once more: class objects registered in the multithreaded apartment are
// not found from there.
void OnApartmentThread(const std::function<void()>& body) {
    const CLSID classes[] = {CLSID_MMDeviceEnumerator, sim::audio::kEndpointConfigClass7};
    IClassFactory* factories[std::size(classes)] = {};
    for (size_t i = 0; i < std::size(classes); ++i) {
        ASSERT_EQ(Hr(S_OK),
                  Hr(CoGetClassObject(classes[i], CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factories[i]))));
    }
    std::thread([&] {
        ASSERT_EQ(Hr(S_OK), Hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        DWORD cookies[std::size(classes)] = {};
        for (size_t i = 0; i < std::size(classes); ++i) {
            CoRegisterClassObject(classes[i], factories[i], CLSCTX_INPROC_SERVER,
                                  REGCLS_MULTIPLEUSE, &cookies[i]);
        }
        body();
        for (DWORD cookie : cookies) {
            CoRevokeClassObject(cookie);
        }
        CoUninitialize();
    }).join();
    for (IClassFactory* factory : factories) {
        factory->Release();
    }
}

int LiveServiceObjects() {
    using sim::audio::ObjectKind;
    int live = 0;
    for (ObjectKind kind : {ObjectKind::DeviceEnumerator, ObjectKind::Device,
                            ObjectKind::EndpointPropertyStore, ObjectKind::EndpointConfig}) {
        live += sim::audio::LiveObjects(kind);
    }
    return live;
}

TEST_F(EndpointFormat, ForcingLeavesItsOwnApartmentOnlyWithEverythingReleased) {
    const std::function<void()> setups[] = {
        [&] {},                                                      // Speakers: three writes
        [&] { SetFormFactor(kSpeakersId, 3); },                      // Headphones
        [&] { sim->FailOn(op::EndpointStoreGetValue, E_FAIL, 1); },  // no format
        [&] { sim->FailOn(op::WriteEndpointFormat, E_FAIL, 1); },
        [&] { sim->FailOn(op::EndpointStoreGetValue, E_FAIL, 2); },  // no form factor
        [&] {
            sim->SetProperty(Store::Endpoint, kSpeakersId, PKEY_AudioEngine_DeviceFormat,
                             Value::UInt32(1));
        },
    };
    for (size_t i = 0; i < std::size(setups); ++i) {
        SetFormFactor(kSpeakersId, 1);
        SetDeviceFormat(ExtensiblePcm(96000, 32, 24));
        sim->ClearFailures();
        setups[i]();
        std::vector<DWORD> models;
        int uninitialised = 0, liveAtUninitialize = -1;
        OnApartmentThread([&] {
            InitializeSpy spy;
            spy.beforeUninitialize = [&] { liveAtUninitialize = LiveServiceObjects(); };
            ForceStereo48kFormat(kSpeakersId);
            models = spy.models;
            uninitialised = spy.uninitialised;
        });
        EXPECT_EQ(std::vector<DWORD>{COINIT_APARTMENTTHREADED}, models) << "setup " << i;
        EXPECT_EQ(1, uninitialised) << "setup " << i;
        EXPECT_EQ(0, liveAtUninitialize) << "setup " << i;
        if (i == 0) {
            // The work was done on that thread.
            EXPECT_EQ(48000u, StoredFormat().Format.nSamplesPerSec);
        }
    }
}

TEST_F(EndpointFormat, ForcingOnAThreadOfTheOtherApartmentLeavesItsComAlone) {
    SetDeviceFormat(ExtensiblePcm(96000, 32, 24));
    InitializeSpy spy;
    EXPECT_TRUE(ForceStereo48kFormat(kSpeakersId));
    EXPECT_EQ(std::vector<DWORD>{COINIT_APARTMENTTHREADED}, spy.models);
    EXPECT_EQ(0, spy.uninitialised);
}

}  // namespace
