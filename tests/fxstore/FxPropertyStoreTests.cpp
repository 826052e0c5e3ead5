#include <gtest/gtest.h>

#include <functional>

#include "framework/CComPtr.h"
#include "framework/CPropVariant.h"
#include "fxstore/FxPropertyStore.h"
#include "tests/fxstore/FxStoreFixture.h"

namespace {

namespace op = sim::audio::op;
using sim::VersionQueryFailure;

using FxPropertyStore = FxStoreTest;

TEST_F(FxPropertyStore, OpensTheStoreReadOnlyAndSeesLaterWrites) {
    SetFxWord(keys::NaturalBass, 0x80003513);
    CComPtr<IPropertyStore> store;
    ASSERT_EQ(Hr(S_OK), Hr(OpenFxPropertyStore(kSpeakersId, &store)));
    // Accessor, device and enumerator are gone; the store alone remains.
    EXPECT_EQ(0, sim::audio::LiveObjects(sim::audio::ObjectKind::FxStoreAccess));
    EXPECT_EQ(0, sim::audio::LiveObjects(sim::audio::ObjectKind::Device));
    EXPECT_EQ(0, sim::audio::LiveObjects(sim::audio::ObjectKind::DeviceEnumerator));

    CPropVariant value;
    ASSERT_EQ(Hr(S_OK), Hr(store->GetValue(keys::NaturalBass, &value)));
    EXPECT_EQ(VT_UI4, value->vt);
    EXPECT_EQ(0x80003513u, value->ulVal);

    CPropVariant word;
    word.SetUInt32(0x80003213);
    ASSERT_EQ(Hr(S_OK), Hr(SetFxPropertyValue(kSpeakersId, keys::NaturalBass, word.Get())));
    ASSERT_EQ(Hr(S_OK), Hr(store->GetValue(keys::NaturalBass, &value)));
    EXPECT_EQ(0x80003213u, value->ulVal);
}

// Each Windows version with the accessor it must use, or E_FAIL.
struct GenerationCase {
    DWORD major, minor;
    VersionQueryFailure failure;
    HRESULT expected;
    WriteOrigin origin;  // meaningful when expected succeeds
    int formatSlot, propertySlot;
    int queries, failedQueries;  // GetVersionExW calls for one decision: 284 bytes, then 276
};

class FxStoreGeneration : public FxStoreTest, public testing::WithParamInterface<GenerationCase> {
protected:
    sim::ScopedWindowsVersion version{GetParam().major, GetParam().minor, GetParam().failure};
};

TEST_P(FxStoreGeneration, OpenFxPropertyStoreUsesTheGenerationsAccessor) {
    CComPtr<IPropertyStore> store;
    EXPECT_EQ(Hr(GetParam().expected), Hr(OpenFxPropertyStore(kSpeakersId, &store)));
    EXPECT_EQ(SUCCEEDED(GetParam().expected), store.Get() != nullptr);
    EXPECT_EQ(GetParam().queries, version.Calls());
    EXPECT_EQ(GetParam().failedQueries, version.Failures());
}

TEST_P(FxStoreGeneration, SetFxPropertyValueWritesThroughTheGenerationsObjectAndSlot) {
    SetFxWord(keys::Headphone, 0x00000211);
    CPropVariant word;
    word.SetUInt32(0x80000211);
    EXPECT_EQ(Hr(GetParam().expected),
              Hr(SetFxPropertyValue(kSpeakersId, keys::Headphone, word.Get())));

    auto writes = sim->Writes();
    if (FAILED(GetParam().expected)) {
        EXPECT_TRUE(writes.empty());
        EXPECT_EQ(0, sim->Calls(op::CreateEndpointConfig));
        EXPECT_EQ(0x00000211u, FxWord(keys::Headphone));
        return;
    }
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ(GetParam().origin, writes[0].origin);
    EXPECT_EQ(GetParam().propertySlot, writes[0].slot);
    EXPECT_EQ(Store::Fx, writes[0].store);
    EXPECT_EQ(kSpeakersId, writes[0].endpointId);
    EXPECT_EQ(0x80000211u, FxWord(keys::Headphone));
}

TEST_P(FxStoreGeneration, EndpointWritersUseTheGenerationsSlots) {
    GetSpeakersDevice();

    CPropVariant mask;
    mask.SetUInt32(3);
    EXPECT_EQ(Hr(GetParam().expected),
              Hr(SetEndpointPropertyValue(device.Get(), PKEY_AudioEndpoint_PhysicalSpeakers,
                                          mask.Get())));
    WAVEFORMATEXTENSIBLE format = ExtensiblePcm(48000, 32, 24);
    EXPECT_EQ(Hr(GetParam().expected), Hr(SetEndpointDeviceFormat(device.Get(), &format.Format)));

    auto writes = sim->Writes();
    if (FAILED(GetParam().expected)) {
        EXPECT_TRUE(writes.empty());
        return;
    }
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ(GetParam().origin, writes[0].origin);
    EXPECT_EQ(GetParam().propertySlot, writes[0].slot);
    EXPECT_EQ(Store::Endpoint, writes[0].store);
    EXPECT_EQ(GetParam().origin, writes[1].origin);
    EXPECT_EQ(GetParam().formatSlot, writes[1].slot);
    EXPECT_EQ(FormatBytes(format, sizeof format), writes[1].value.Bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Versions, FxStoreGeneration,
    testing::Values(
        GenerationCase{6, 0, VersionQueryFailure::None, S_OK, WriteOrigin::ConfigVista, 5, 11, 1,
                       0},
        GenerationCase{6, 1, VersionQueryFailure::None, S_OK, WriteOrigin::Config7, 6, 12, 1, 0},
        // An old system that only answers the plain structure is still asked.
        GenerationCase{6, 0, VersionQueryFailure::ExtendedOnly, S_OK, WriteOrigin::ConfigVista, 5,
                       11, 2, 1},
        GenerationCase{6, 1, VersionQueryFailure::ExtendedOnly, S_OK, WriteOrigin::Config7, 6, 12,
                       2, 1},
        GenerationCase{5, 0, VersionQueryFailure::None, E_FAIL, WriteOrigin::Config7, 0, 0, 1, 0},
        GenerationCase{5, 1, VersionQueryFailure::None, E_FAIL, WriteOrigin::Config7, 0, 0, 1, 0},
        GenerationCase{6, 2, VersionQueryFailure::None, E_FAIL, WriteOrigin::Config7, 0, 0, 1, 0},
        GenerationCase{6, 3, VersionQueryFailure::None, E_FAIL, WriteOrigin::Config7, 0, 0, 1, 0},
        GenerationCase{10, 0, VersionQueryFailure::None, E_FAIL, WriteOrigin::Config7, 0, 0, 1, 0},
        GenerationCase{6, 0, VersionQueryFailure::Both, E_FAIL, WriteOrigin::Config7, 0, 0, 2, 2},
        GenerationCase{6, 1, VersionQueryFailure::Both, E_FAIL, WriteOrigin::Config7, 0, 0, 2, 2}),
    [](const auto& info) {
        const GenerationCase& c = info.param;
        return "Windows" + std::to_string(c.major) + "_" + std::to_string(c.minor) +
               (c.failure == VersionQueryFailure::Both           ? "_QueryFails"
                : c.failure == VersionQueryFailure::ExtendedOnly ? "_PlainQueryOnly"
                                                                 : "");
    });

TEST_F(FxPropertyStore, VersionIsAskedAfreshOnEveryWrite) {
    CPropVariant word;
    word.SetUInt32(1);
    {
        sim::ScopedWindowsVersion vista(6, 0);
        EXPECT_EQ(Hr(S_OK), Hr(SetFxPropertyValue(kSpeakersId, keys::LevelWord, word.Get())));
    }
    EXPECT_EQ(Hr(S_OK), Hr(SetFxPropertyValue(kSpeakersId, keys::LevelWord, word.Get())));
    auto writes = sim->Writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ(WriteOrigin::ConfigVista, writes[0].origin);
    EXPECT_EQ(WriteOrigin::Config7, writes[1].origin);
}

TEST_F(FxPropertyStore, OpenReturnsEachFailureOnTheWay) {
    struct Case {
        const char* operation;
        HRESULT failure;
    };
    for (Case c :
         {Case{op::CreateDeviceEnumerator, REGDB_E_CLASSNOTREG}, Case{op::GetDevice, E_OUTOFMEMORY},
          Case{op::QueryFxStoreAccess, E_NOINTERFACE}, Case{op::OpenFxStore, STG_E_ACCESSDENIED}}) {
        sim->ClearFailures();
        sim->FailOn(c.operation, c.failure);
        CComPtr<IPropertyStore> store;
        EXPECT_EQ(Hr(c.failure), Hr(OpenFxPropertyStore(kSpeakersId, &store))) << c.operation;
        EXPECT_EQ(nullptr, store.Get()) << c.operation;
    }
}

TEST_F(FxPropertyStore, OpenFailsForAnUnknownEndpointOrANullDeviceOrStore) {
    CComPtr<IPropertyStore> store;
    EXPECT_EQ(Hr(E_NOTFOUND), Hr(OpenFxPropertyStore(L"{0.0.0.00000000}.{gone}", &store)));
    {
        // The device comes before the Windows version.
        sim::ScopedWindowsVersion windows8(6, 2);
        EXPECT_EQ(Hr(E_NOTFOUND), Hr(OpenFxPropertyStore(L"{0.0.0.00000000}.{gone}", &store)));
        EXPECT_EQ(0, windows8.Calls());
    }
    sim->SucceedWithNull(op::GetDevice, 1);
    EXPECT_EQ(Hr(E_FAIL), Hr(OpenFxPropertyStore(kSpeakersId, &store)));
    EXPECT_EQ(nullptr, store.Get());
    sim->SucceedWithNull(op::QueryFxStoreAccess, 1);
    EXPECT_EQ(Hr(E_FAIL), Hr(OpenFxPropertyStore(kSpeakersId, &store)));
    EXPECT_EQ(nullptr, store.Get());
    // A start-up that took success for a store would show a page with nothing to read from.
    sim->SucceedWithNull(op::OpenFxStore, 1);
    EXPECT_EQ(Hr(E_FAIL), Hr(OpenFxPropertyStore(kSpeakersId, &store)));
    EXPECT_EQ(nullptr, store.Get());
}

TEST_F(FxPropertyStore, SetFxPropertyValueReturnsTheServicesFailureAndKeepsTheValue) {
    SetFxWord(keys::SoundSpaceExpander, 0x80000001);
    CPropVariant word;
    word.SetUInt32(0x00000001);

    sim->FailOn(op::CreateEndpointConfig, E_ACCESSDENIED, 1);
    EXPECT_EQ(Hr(E_ACCESSDENIED),
              Hr(SetFxPropertyValue(kSpeakersId, keys::SoundSpaceExpander, word.Get())));
    sim->FailOn(op::WriteEndpointProperty, E_OUTOFMEMORY, 1);
    EXPECT_EQ(Hr(E_OUTOFMEMORY),
              Hr(SetFxPropertyValue(kSpeakersId, keys::SoundSpaceExpander, word.Get())));
    EXPECT_EQ(0x80000001u, FxWord(keys::SoundSpaceExpander));
    // The caller's value is the caller's: the writer leaves it as it was.
    EXPECT_EQ(VT_UI4, word->vt);
    EXPECT_EQ(1u, word->ulVal);
}

class EndpointWriters : public FxStoreTest {
protected:
    void SetUp() override {
        FxStoreTest::SetUp();
        GetSpeakersDevice();
    }
};

TEST_F(EndpointWriters, WriteTheEndpointsOwnStoreByItsId) {
    CPropVariant mask;
    mask.SetUInt32(3);
    EXPECT_EQ(Hr(S_OK), Hr(SetEndpointPropertyValue(
                            device.Get(), PKEY_AudioEndpoint_FullRangeSpeakers, mask.Get())));
    auto stored = sim->Property(Store::Endpoint, kSpeakersId, PKEY_AudioEndpoint_FullRangeSpeakers);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(Value::UInt32(3), *stored);
    EXPECT_FALSE(sim->Property(Store::Fx, kSpeakersId, PKEY_AudioEndpoint_FullRangeSpeakers));
}

TEST_F(EndpointWriters, NullDeviceOrFormatFailsWithoutAskingTheVersion) {
    WAVEFORMATEXTENSIBLE format = ExtensiblePcm(48000, 32, 24);
    CPropVariant mask;
    mask.SetUInt32(3);
    EXPECT_EQ(Hr(E_FAIL), Hr(SetEndpointDeviceFormat(device.Get(), nullptr)));
    EXPECT_EQ(Hr(E_FAIL), Hr(SetEndpointDeviceFormat(nullptr, &format.Format)));
    EXPECT_EQ(Hr(E_FAIL), Hr(SetEndpointPropertyValue(nullptr, PKEY_AudioEndpoint_PhysicalSpeakers,
                                                      mask.Get())));
    EXPECT_EQ(0, windows7.Calls());
    EXPECT_TRUE(sim->Writes().empty());
}

TEST_F(EndpointWriters, ReturnEachFailureOnTheWay) {
    WAVEFORMATEXTENSIBLE format = ExtensiblePcm(48000, 32, 24);
    CPropVariant mask;
    mask.SetUInt32(3);
    struct Writer {
        std::function<HRESULT()> write;
        const char* method;
    };
    const Writer writers[] = {
        {[&] { return SetEndpointDeviceFormat(device.Get(), &format.Format); },
         op::WriteEndpointFormat},
        {[&] {
             return SetEndpointPropertyValue(device.Get(), PKEY_AudioEndpoint_PhysicalSpeakers,
                                             mask.Get());
         },
         op::WriteEndpointProperty}};
    for (const Writer& writer : writers) {
        // Without the configuration object the device is not even asked for its id.
        int idsAsked = sim->Calls(op::GetId);
        sim->FailOn(op::CreateEndpointConfig, REGDB_E_CLASSNOTREG, 1);
        EXPECT_EQ(Hr(REGDB_E_CLASSNOTREG), Hr(writer.write())) << writer.method;
        EXPECT_EQ(idsAsked, sim->Calls(op::GetId)) << writer.method;
        sim->ClearFailures();
        {
            sim::ScopedWindowsVersion windows8(6, 2);
            sim->FailOn(op::GetId, E_OUTOFMEMORY, 1);
            EXPECT_EQ(Hr(E_FAIL), Hr(writer.write())) << writer.method;
            sim->ClearFailures();
        }
        sim->FailOn(writer.method, STG_E_ACCESSDENIED, 1);
        EXPECT_EQ(Hr(STG_E_ACCESSDENIED), Hr(writer.write())) << writer.method;
        sim->ClearFailures();
    }
    EXPECT_TRUE(AcceptedWrites().empty());
}

TEST_F(EndpointWriters, FailedOrEmptyIdWritesNothing) {
    WAVEFORMATEXTENSIBLE format = ExtensiblePcm(48000, 32, 24);
    CPropVariant mask;
    mask.SetUInt32(3);

    sim->FailOn(op::GetId, E_OUTOFMEMORY, 1);
    EXPECT_EQ(Hr(E_OUTOFMEMORY), Hr(SetEndpointDeviceFormat(device.Get(), &format.Format)));
    sim->SucceedWithNull(op::GetId, 1);
    EXPECT_EQ(Hr(E_FAIL), Hr(SetEndpointPropertyValue(
                              device.Get(), PKEY_AudioEndpoint_PhysicalSpeakers, mask.Get())));
    EXPECT_TRUE(sim->Writes().empty());
}

}  // namespace
