// The built-in laptop: the maker's codec with the effects installed and the policy that lets the
// front-panel jacks decide, nothing plugged in, and the endpoints a real machine of this kind
// shows, named so that the inventory sorts them as it would there.
#include "sim/machine/MachineState.h"

#include <functiondiscoverykeys_devpkey.h>

namespace sim::machine {
namespace {

EndpointState Endpoint(const wchar_t* id, EDataFlow flow, DWORD state, const wchar_t* name,
                       const wchar_t* description, int formFactor, DWORD rate, WORD validBits) {
    EndpointState endpoint;
    endpoint.id = id;
    endpoint.flow = flow;
    endpoint.state = state;
    PutEntry(endpoint.properties, PKEY_Device_FriendlyName, audio::Value::String(name));
    PutEntry(endpoint.properties, PKEY_Device_DeviceDesc, audio::Value::String(description));
    PutEntry(endpoint.properties, PKEY_AudioEndpoint_FormFactor, audio::Value::UInt32(formFactor));
    PutEntry(endpoint.properties, PKEY_AudioEngine_DeviceFormat, DeviceFormat(rate, validBits));
    return endpoint;
}

KSJACK_DESCRIPTION MiniJack(EPcxGeoLocation location) {
    KSJACK_DESCRIPTION jack = {};
    jack.ConnectionType = eConnType3Point5mm;
    jack.GeoLocation = location;
    jack.IsConnected = TRUE;
    return jack;
}

}  // namespace

MachineState DefaultMachine() {
    MachineState machine;
    machine.driver.interfaces = {
        L"\\\\?\\hdaudio#func_01&ven_9e5b&dev_0615&subsys_1025034a&rev_1001#4&2d5c1b7e&0&0001#"
        L"{5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}\\elineoutwave"};
    machine.driver.policy = 1;  // the front-panel jacks decide; nothing is plugged in
    machine.driver.effectSupport = 0x8;

    machine.endpoints.push_back(Endpoint(
        L"{0.0.0.00000000}.{8d1c5a3e-6f0b-4c2a-9e41-2b7d0c9f4a10}", eRender, DEVICE_STATE_ACTIVE,
        L"Speakers (XAN High Definition Audio)", L"Speakers", Speakers, 48000, 24));
    machine.endpoints.push_back(Endpoint(
        L"{0.0.0.00000000}.{2e4a9c71-0d3b-4f68-a5c2-91e07b6d3f25}", eRender, DEVICE_STATE_UNPLUGGED,
        L"Headphones (XAN High Definition Audio)", L"Headphones", Headphones, 48000, 24));
    machine.endpoints.push_back(Endpoint(
        L"{0.0.0.00000000}.{c3f81d2a-5b6e-4a90-8d17-4e2f6a0b9c58}", eRender, DEVICE_STATE_ACTIVE,
        L"Digital Output TX0 (XAN High Definition Audio)", L"Digital Output", SPDIF, 48000, 16));
    machine.endpoints.push_back(Endpoint(L"{0.0.0.00000000}.{71a9e3c4-2d85-4b1f-9e06-a3c5d7f8e921}",
                                         eRender, DEVICE_STATE_UNPLUGGED,
                                         L"Display Audio (Other HDMI Audio)", L"Display Audio",
                                         DigitalAudioDisplayDevice, 48000, 16));
    EndpointState microphone = Endpoint(
        L"{0.0.1.00000000}.{b7f3e2d0-4a19-46c5-8e6a-5d2c1f0a9b34}", eCapture, DEVICE_STATE_ACTIVE,
        L"Microphone (XAN High Definition Audio)", L"Microphone", Microphone, 44100, 16);
    microphone.jack = MiniJack(eGeoLocFront);
    machine.endpoints.push_back(microphone);
    EndpointState lineIn =
        Endpoint(L"{0.0.1.00000000}.{e05d6b8f-93c2-4e7a-b1d4-6f8a2c0e5b73}", eCapture,
                 DEVICE_STATE_UNPLUGGED, L"Line In (XAN High Definition Audio)", L"Line In",
                 LineLevel, 44100, 16);
    lineIn.jack = MiniJack(eGeoLocRear);
    machine.endpoints.push_back(lineIn);
    return machine;
}

}  // namespace sim::machine
