// The walk the system makes from an endpoint to its jack description, against the stand-in: the
// jack set for the endpoint comes back, each step can be made to fail or to hand out nothing,
// and what the walk leaves behind or should not have called is reported.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/CComPtr.h"
#include "sim/platform/CallSweep.h"
#include "tests/support/SimAudioTest.h"

namespace {

namespace op = sim::audio::op;

constexpr wchar_t kHeadphonesId[] = L"{0.0.0.00000000}.{5A4B3C2D-0000-4000-8000-000000000002}";
constexpr wchar_t kSpeakersId[] = L"{0.0.0.00000000}.{5A4B3C2D-0000-4000-8000-000000000001}";

// Where the walk stopped (null when it got through) and with what.
struct Walk {
    const char* stoppedAt = nullptr;
    HRESULT result = S_OK;
    UINT jackCount = 0;
    KSJACK_DESCRIPTION jack = {};
};

// The system's walk, step by step; a step that fails or hands out nothing stops it.
Walk WalkToJack(IMMDevice* device, UINT jackIndex) {
    Walk walk;
    auto stop = [&walk](const char* operation, HRESULT hr) {
        walk.stoppedAt = operation;
        walk.result = hr;
        return walk;
    };
    CComPtr<IDeviceTopology> topology;
    HRESULT hr = device->Activate(IID_IDeviceTopology, CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(&topology));
    if (FAILED(hr) || !topology) {
        return stop(op::Activate, hr);
    }
    UINT connectors = 0;
    hr = topology->GetConnectorCount(&connectors);
    if (FAILED(hr) || connectors == 0) {
        return stop(op::GetConnectorCount, hr);
    }
    CComPtr<IConnector> connector;
    hr = topology->GetConnector(0, &connector);
    if (FAILED(hr) || !connector) {
        return stop(op::GetConnector, hr);
    }
    CComPtr<IConnector> other;
    hr = connector->GetConnectedTo(&other);
    if (FAILED(hr) || !other) {
        return stop(op::GetConnectedTo, hr);
    }
    CComPtr<IPart> part;
    hr = other.QueryInterface(IID_IPart, &part);
    if (FAILED(hr) || !part) {
        return stop(op::QueryPart, hr);
    }
    CComPtr<IKsJackDescription> jacks;
    hr = part->Activate(CLSCTX_ALL, IID_IKsJackDescription, reinterpret_cast<void**>(&jacks));
    if (FAILED(hr) || !jacks) {
        return stop(op::PartActivate, hr);
    }
    hr = jacks->GetJackCount(&walk.jackCount);
    if (FAILED(hr)) {
        return stop(op::GetJackCount, hr);
    }
    hr = jacks->GetJackDescription(jackIndex, &walk.jack);
    if (FAILED(hr)) {
        return stop(op::GetJackDescription, hr);
    }
    return walk;
}

KSJACK_DESCRIPTION HeadphoneJack() {
    KSJACK_DESCRIPTION jack = {};
    jack.ChannelMapping = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    jack.Color = RGB(0x00, 0xC0, 0x40);
    jack.ConnectionType = eConnType3Point5mm;
    jack.GeoLocation = eGeoLocLeft;
    jack.GenLocation = eGenLocPrimaryBox;
    jack.PortConnection = ePortConnJack;
    jack.IsConnected = TRUE;
    return jack;
}

class DeviceTopology : public SimAudioTest {
protected:
    void SetUp() override {
        SimAudioTest::SetUp();
        sim->AddEndpoint(kSpeakersId);
        sim->AddEndpoint(kHeadphonesId, eRender, DEVICE_STATE_UNPLUGGED);
        ASSERT_EQ(Hr(S_OK), Hr(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                                IID_IMMDeviceEnumerator,
                                                reinterpret_cast<void**>(&enumerator))));
    }
    void TearDown() override {
        enumerator.Release();
        SimAudioTest::TearDown();
    }

    Walk WalkFrom(const wchar_t* id, UINT jackIndex = 0) {
        CComPtr<IMMDevice> device;
        EXPECT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(id, &device)));
        return device ? WalkToJack(device.Get(), jackIndex) : Walk{"GetDevice", E_FAIL};
    }

    CComPtr<IMMDeviceEnumerator> enumerator;
};

TEST_F(DeviceTopology, TheWalkReachesTheJackSetForItsEndpoint) {
    const KSJACK_DESCRIPTION jack = HeadphoneJack();
    sim->SetJack(kHeadphonesId, jack, 2);

    Walk walk = WalkFrom(kHeadphonesId);
    EXPECT_STREQ(nullptr, walk.stoppedAt) << Hr(walk.result);
    EXPECT_EQ(2u, walk.jackCount);
    EXPECT_EQ(0, std::memcmp(&jack, &walk.jack, sizeof jack));
    EXPECT_STREQ(nullptr, WalkFrom(kHeadphonesId, 1).stoppedAt);
    walk = WalkFrom(kHeadphonesId, 2);
    EXPECT_STREQ(op::GetJackDescription, walk.stoppedAt);
    EXPECT_EQ(Hr(E_INVALIDARG), Hr(walk.result));

    // Nothing set: the walk gets through to a description with no jacks.
    walk = WalkFrom(kSpeakersId);
    EXPECT_STREQ(op::GetJackDescription, walk.stoppedAt);
    EXPECT_EQ(Hr(E_INVALIDARG), Hr(walk.result));
    EXPECT_EQ(0u, walk.jackCount);

    sim->SetConnectorCount(kSpeakersId, 0);
    walk = WalkFrom(kSpeakersId);
    EXPECT_STREQ(op::GetConnectorCount, walk.stoppedAt);
    EXPECT_EQ(Hr(S_OK), Hr(walk.result));
}

TEST_F(DeviceTopology, EachStepCanFailOrHandOutNothing) {
    sim->SetJack(kHeadphonesId, HeadphoneJack());
    const char* const steps[] = {op::Activate,       op::GetConnectorCount, op::GetConnector,
                                 op::GetConnectedTo, op::QueryPart,         op::PartActivate,
                                 op::GetJackCount,   op::GetJackDescription};
    HRESULT failure = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x200);
    for (const char* step : steps) {
        sim->FailOn(step, failure, 1);
        Walk walk = WalkFrom(kHeadphonesId);
        EXPECT_STREQ(step, walk.stoppedAt);
        EXPECT_EQ(Hr(failure), Hr(walk.result)) << step;
        // Only that call failed.
        EXPECT_STREQ(nullptr, WalkFrom(kHeadphonesId).stoppedAt) << step;
        ++failure;
    }
    // The steps that hand out an object can succeed with none.
    for (const char* step :
         {op::Activate, op::GetConnector, op::GetConnectedTo, op::QueryPart, op::PartActivate}) {
        sim->SucceedWithNull(step, 1);
        Walk walk = WalkFrom(kHeadphonesId);
        EXPECT_STREQ(step, walk.stoppedAt);
        EXPECT_EQ(Hr(S_OK), Hr(walk.result)) << step;
    }
}

// For the call sweep, each step that hands something out can succeed with something unusable:
// objects of a removed endpoint, no connectors, no jacks, a jack described as nothing. The walk
// makes calls 2 to 9 (GetDevice is call 1).
TEST_F(DeviceTopology, EachStepsUnusableAnswerLeadsToNoJack) {
    sim->SetJack(kHeadphonesId, HeadphoneJack());
    const struct {
        size_t call;
        const char* stoppedAt;
        HRESULT result;
    } cases[] = {
        {2, op::GetConnectorCount, E_NOTFOUND},  // Activate
        {3, op::GetConnectorCount, S_OK},
        {4, op::GetConnectedTo, E_NOTFOUND},  // GetConnector
        {5, op::GetJackCount, E_NOTFOUND},    // GetConnectedTo
        {7, op::GetJackCount, E_NOTFOUND},    // PartActivate
    };
    for (const auto& c : cases) {
        sim::call_sweep::StartAnswering(c.call, sim::call_sweep::Variant::Unusable);
        Walk walk = WalkFrom(kHeadphonesId);
        sim::call_sweep::Stop();
        EXPECT_STREQ(c.stoppedAt, walk.stoppedAt) << "call " << c.call;
        EXPECT_EQ(Hr(c.result), Hr(walk.result)) << "call " << c.call;
    }
    sim::call_sweep::StartAnswering(8, sim::call_sweep::Variant::Unusable);
    EXPECT_EQ(0u, WalkFrom(kHeadphonesId).jackCount);
    sim::call_sweep::StartAnswering(9, sim::call_sweep::Variant::Unusable);
    Walk walk = WalkFrom(kHeadphonesId);
    sim::call_sweep::Stop();
    const KSJACK_DESCRIPTION nothing = {};
    EXPECT_EQ(0, std::memcmp(&nothing, &walk.jack, sizeof nothing));
}

// Without the fixture: these leave things behind on purpose.
TEST(DeviceTopologyChecks, ReportALeakedTopologyAndCallsNoWalkShouldMake) {
    auto service = sim::audio::AudioService::Start();
    service->AddEndpoint(kSpeakersId);
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IDeviceTopology* topology = nullptr;
    IConnector* connector = nullptr;
    IConnector* other = nullptr;
    IPart* part = nullptr;
    ASSERT_EQ(Hr(S_OK),
              Hr(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator))));
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(kSpeakersId, &device)));
    void* nothing = nullptr;
    EXPECT_EQ(Hr(E_NOINTERFACE),
              Hr(device->Activate(IID_IMMEndpoint, CLSCTX_ALL, nullptr, &nothing)));
    ASSERT_EQ(Hr(S_OK), Hr(device->Activate(IID_IDeviceTopology, CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(&topology))));
    ASSERT_EQ(Hr(S_OK), Hr(topology->GetConnector(0, &connector)));
    ASSERT_EQ(Hr(S_OK), Hr(connector->GetConnectedTo(&other)));
    ASSERT_EQ(Hr(S_OK), Hr(other->QueryInterface(IID_IPart, reinterpret_cast<void**>(&part))));

    // The wrong side of the connection, and a method the walk has no use for.
    EXPECT_EQ(Hr(E_NOINTERFACE), Hr(connector->QueryInterface(IID_IPart, &nothing)));
    LPWSTR name = nullptr;
    EXPECT_EQ(Hr(E_NOTIMPL), Hr(part->GetName(&name)));
    part->Release();
    other->Release();
    connector->Release();
    device->Release();
    enumerator->Release();

    service->Stop();
    EXPECT_EQ(
        "alive: DeviceTopology 1; IPart asked of the endpoint's own connector; "
        "call of unimplemented IPart::GetName",
        sim::audio::DescribeLeftovers(*service));
    topology->Release();
    EXPECT_EQ("", sim::audio::DescribeLiveObjects());
}

}  // namespace
