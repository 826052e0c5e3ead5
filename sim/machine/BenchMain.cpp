// halvo-sim: the system's code against the simulated laptop. For now it shows what the effect
// properties do on the laptop's speakers: the first start writes the defaults, a second start
// loads them, and switching an effect on forces the device format.
#include <objbase.h>

#include <cstdio>

#include "framework/CComPtr.h"
#include "framework/CPropVariant.h"
#include "fxstore/EffectState.h"
#include "fxstore/EffectWords.h"
#include "fxstore/EndpointFormat.h"
#include "fxstore/FxPropertyStore.h"
#include "fxstore/PropertyKeys.h"
#include "sim/audio/AudioService.h"
#include "sim/machine/DefaultLaptop.h"

namespace {

void PrintRecords(const char* when) {
    std::printf("%s\n", when);
    std::printf("  Sound Space Expander  enabled %d  option %d\n", g_soundSpaceExpander.enabled,
                g_soundSpaceExpander.bit0Option);
    std::printf("  Halvo Headphone       enabled %d  options %d %d %d\n", g_headphone.enabled,
                g_headphone.bit0Option, g_headphone.bits8to11Option, g_headphone.bits4to7Option);
    std::printf("  Natural Bass          enabled %d  bass boost %d\n", g_naturalBass.enabled,
                g_naturalBass.boostLevel);
}

void PrintWrites(const sim::audio::AudioService& service) {
    for (const auto& write : service.Writes()) {
        const char* path = write.origin == sim::audio::WriteOrigin::FxStoreHandle ? "FX handle"
                           : write.origin == sim::audio::WriteOrigin::ConfigVista
                               ? "config (Vista)"
                               : "config (Windows 7)";
        std::printf("  %-18s slot %2d  %s store  %s  %s\n", path, write.slot,
                    write.store == sim::audio::Store::Fx ? "FX" : "endpoint",
                    write.value.Describe().c_str(), SUCCEEDED(write.result) ? "" : "(failed)");
    }
}

int ShowLaptop() {
    auto service = sim::audio::AudioService::Start();
    sim::machine::AddDefaultLaptop(*service);
    const wchar_t* id = sim::machine::kLaptopSpeakersId;

    CComPtr<IPropertyStore> fxStore;
    HRESULT hr = OpenFxPropertyStore(id, &fxStore);
    if (FAILED(hr)) {
        std::printf("OpenFxPropertyStore failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        service->Stop();
        return 1;
    }
    int formFactor = GetEndpointFormFactor(id);
    std::printf("Simulated laptop, speakers endpoint, form factor %d\n\n", formFactor);

    CComPtr<IMMDeviceEnumerator> enumerator;
    CComPtr<IMMDevice> device;
    CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                     reinterpret_cast<void**>(&enumerator));
    if (enumerator) {
        enumerator->GetDevice(id, &device);
    }

    LoadEffectState(fxStore.Get(), device.Get(), formFactor);
    PrintRecords("First start (first-run defaults written):");
    PrintWrites(*service);
    service->ClearWrites();

    LoadEffectState(fxStore.Get(), device.Get(), formFactor);
    PrintRecords("\nSecond start (stored words loaded):");

    DWORD rate = 0;
    WORD bits = 0;
    GetEndpointDeviceFormat(id, &rate, &bits);
    std::printf("\nDevice format %lu Hz, %u valid bits; forcing stereo 48 kHz ...\n",
                static_cast<unsigned long>(rate), bits);
    ForceStereo48kFormat(id);
    GetEndpointDeviceFormat(id, &rate, &bits);
    std::printf("Device format now %lu Hz, %u valid bits\n", static_cast<unsigned long>(rate),
                bits);
    PrintWrites(*service);

    device.Release();
    enumerator.Release();
    fxStore.Release();
    service->Stop();
    return 0;
}

}  // namespace

int main() {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int result = ShowLaptop();
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return result;
}
