#include "check/StartupCheck.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "driver/DriverControls.h"
#include "driver/EffectSupport.h"
#include "driver/HDAudDevice.h"
#include "driver/InstalledEffects.h"
#include "endpoints/EndpointInventory.h"
#include "endpoints/ExtensionLibrary.h"
#include "framework/CCoInitialize.h"
#include "framework/CComPtr.h"
#include "fxstore/FxPropertyStore.h"
#include "fxstore/WindowsGeneration.h"

namespace {

std::wstring Hex(DWORD value) {
    WCHAR text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(value));
    return text;
}

const WCHAR* StateName(DWORD state) {
    switch (state) {
        case DEVICE_STATE_ACTIVE: return L"active";
        case DEVICE_STATE_DISABLED: return L"disabled";
        case DEVICE_STATE_UNPLUGGED: return L"unplugged";
        default: return L"state unknown";
    }
}

// Tests 1 and 2: the probe's discovery and the effect-support query, made as the probe makes
// them. The mask is judged here; the program judges it after choosing the endpoint, with the
// same answer.
void CheckDriver(CCheckReport& report) {
    HDAudDeviceInfo device = {};
    if (!DiscoverEffectsDevice(&device)) {
        report.Failed(CHECK_CODEC_DRIVER, L"the list of devices could not be read",
                      L"restart Windows and run HalvoCheck again; if it fails again, reinstall "
                      L"the audio driver from the computer's maker.");
        report.NotChecked(CHECK_EFFECT_SET, L"needs the codec driver");
        return;
    }
    if (!device.interfaceDetail) {
        ReleaseHDAudDevice(&device);
        report.Failed(CHECK_CODEC_DRIVER, L"no supported HD Audio codec with its driver found",
                      L"install the audio driver from the computer's maker (the HD Audio codec "
                      L"driver Halvo Setting works with), restart Windows, then run HalvoCheck "
                      L"again.");
        report.NotChecked(CHECK_EFFECT_SET, L"needs the codec driver");
        return;
    }
    report.Passed(CHECK_CODEC_DRIVER, std::wstring(L"found ") + device.interfaceDetail->DevicePath);

    DWORD mask = GetHDAudEffectSupport(&device);
    ReleaseHDAudDevice(&device);
    if (mask & HDAUD_SUPPORT_HALVO_EFFECTS) {
        report.Passed(CHECK_EFFECT_SET,
                      L"the driver reports the Halvo effects installed (" + Hex(mask) + L")");
    } else {
        report.Failed(CHECK_EFFECT_SET,
                      L"the driver reports " + Hex(mask) +
                          L": bit 3, the Halvo effects, is not set (0 also when the driver did "
                          L"not answer)",
                      L"install the maker's audio driver package that includes the Halvo "
                      L"effects; the driver installed now does not offer them.");
    }
}

// Tests 3 and 4: the library's load and the 91 look-ups, as OpenEndpointInventory makes them
// after the device enumerator; a library that lacks a name is unloaded again.
void CheckExtensionLibrary(CCheckReport& report, EndpointInventory& inventory) {
    if (!LoadExtensionLibrary(&inventory)) {
        report.Failed(
            CHECK_EXTENSION_LIBRARY,
            std::wstring(EXTENSION_LIBRARY_NAME) + L" was not found on the library search path",
            std::wstring(L"put ") + EXTENSION_LIBRARY_NAME +
                L" in the folder of HalvoSetting.exe or in a folder on the PATH. "
                L"HalvoCheck looks where the program looks when both are in one "
                L"folder.");
        report.NotChecked(CHECK_EXTENSION_EXPORTS, L"needs the extension library");
        return;
    }
    WCHAR path[MAX_PATH] = {};
    if (!GetModuleFileNameW(inventory.extensionModule, path, MAX_PATH)) {
        std::wcscpy(path, EXTENSION_LIBRARY_NAME);
    }
    report.Passed(CHECK_EXTENSION_LIBRARY, std::wstring(L"loaded ") + path);

    if (BindExtensionExports(&inventory)) {
        report.Passed(CHECK_EXTENSION_EXPORTS,
                      L"all " + std::to_wstring(EXTENSION_EXPORT_COUNT) + L" names found");
        return;
    }
    // The binding leaves null in the slot of every name it did not find.
    std::wstring missing;
    std::wstring first;
    size_t count = 0;
    for (size_t i = 0; i < EXTENSION_EXPORT_COUNT; ++i) {
        if (!g_extensionExports.slots[i]) {
            const char* name = g_extensionExportNames[i];
            std::wstring wide(name, name + std::strlen(name));
            missing += (count++ ? L", " : L"") + wide;
            if (first.empty()) {
                first = wide;
            }
        }
    }
    UnloadExtensionLibrary(&inventory);
    // A library of that name that is another library altogether lacks them all: the advice
    // names the first and counts the rest.
    std::wstring lacks =
        count > 1 ? first + L" and " + std::to_wstring(count - 1) + L" more" : first;
    report.Failed(CHECK_EXTENSION_EXPORTS,
                  std::to_wstring(count) + L" of " + std::to_wstring(EXTENSION_EXPORT_COUNT) +
                      L" names missing: " + missing,
                  std::wstring(L"this ") + EXTENSION_LIBRARY_NAME + L" lacks " + lacks +
                      L" (names must match exactly, letter case included); put the library "
                      L"that comes with the maker's audio driver in its place.");
}

// Test 5: the endpoint the probe chooses. TRUE with its id in endpointId (which may be empty,
// as an id the service gives may be), FALSE when there is none.
BOOL CheckEndpoint(CCheckReport& report, EndpointInventory& inventory, HRESULT enumerator,
                   WCHAR endpointId[260]) {
    if (FAILED(enumerator) || !inventory.deviceEnumerator) {
        report.Failed(CHECK_SPEAKER_ENDPOINT,
                      L"the Windows audio endpoint service did not answer (" +
                          Hex(static_cast<DWORD>(enumerator)) + L")",
                      L"start the Windows Audio service (or restart Windows), then run "
                      L"HalvoCheck again.");
        return FALSE;
    }
    BuildEndpointInventory(&inventory);
    int index = SelectEffectsEndpoint(&inventory);
    if (index < 0) {
        INT_PTR count = GetEndpointRecordCount(&inventory);
        std::wstring found = count == 0   ? std::wstring(L"Windows lists no audio endpoint")
                             : count == 1 ? std::wstring(
                                                L"the one audio endpoint listed is not "
                                                L"the maker's speaker endpoint")
                                          : L"none of the " + std::to_wstring(count) +
                                                L" audio endpoints listed is the maker's "
                                                L"speaker endpoint";
        report.Failed(CHECK_SPEAKER_ENDPOINT, found,
                      L"no speaker endpoint of the maker's codec is present: check that the "
                      L"computer's speakers show under Playback in the Sound control panel; if "
                      L"they do not, reinstall the audio driver from the computer's maker.");
        return FALSE;
    }
    const EndpointRecord* record = GetEndpointRecord(&inventory, index);
    DWORD state = DEVICE_STATE_NOTPRESENT;
    if (record->device && FAILED(record->device->GetState(&state))) {
        state = DEVICE_STATE_NOTPRESENT;
    }
    report.Passed(CHECK_SPEAKER_ENDPOINT, std::wstring(L"\"") + record->friendlyName + L"\", " +
                                              StateName(state) + L", id " + record->endpointId);
    std::memcpy(endpointId, record->endpointId, sizeof(WCHAR) * 260);
    return TRUE;
}

// Test 6. FALSE when the FX store cannot be opened on this version.
BOOL CheckWindowsVersion(CCheckReport& report) {
    DWORD major = 0;
    DWORD minor = 0;
    AudioServiceGeneration generation;
    if (!ReadWindowsVersion(&major, &minor)) {
        report.Failed(CHECK_WINDOWS_VERSION, L"the version could not be read",
                      L"restart Windows and run HalvoCheck again.");
        return FALSE;
    }
    std::wstring version = std::to_wstring(major) + L"." + std::to_wstring(minor);
    if (FAILED(AudioServiceGenerationOf(major, minor, &generation))) {
        report.Failed(CHECK_WINDOWS_VERSION,
                      version +
                          L", but Halvo Setting runs on Windows Vista (6.0) and Windows 7 "
                          L"(6.1) only",
                      L"use Halvo Setting on 64-bit Windows Vista or Windows 7; nothing on this "
                      L"computer can make it run on this version of Windows.");
        return FALSE;
    }
    report.Passed(CHECK_WINDOWS_VERSION,
                  version + (generation == AudioServiceGeneration::Vista ? L" (Windows Vista)"
                                                                         : L" (Windows 7)"));
    return TRUE;
}

// Test 7, as start-up opens the store: in the multithreaded apartment, inside a bracket of
// apartment-threaded initialisation that changes nothing there. The store is released at once.
void CheckFxStore(CCheckReport& report, const WCHAR endpointId[260]) {
    CCoInitialize multithreaded(COINIT_MULTITHREADED);
    CComPtr<IPropertyStore> fxStore;
    HRESULT opened;
    {
        CCoInitialize apartment(COINIT_APARTMENTTHREADED);
        opened = OpenFxPropertyStore(endpointId, &fxStore);
    }
    if (SUCCEEDED(opened)) {
        report.Passed(CHECK_FX_STORE, L"the endpoint's effect store opens read-only");
    } else {
        report.Failed(CHECK_FX_STORE,
                      L"the endpoint's effect store could not be opened (" +
                          Hex(static_cast<DWORD>(opened)) + L")",
                      L"restart the Windows Audio service or Windows, then run HalvoCheck "
                      L"again; if it still fails, reinstall the audio driver from the "
                      L"computer's maker.");
    }
    // The store goes before COM does.
    fxStore.Release();
}

}  // namespace

int RunStartupChecks(CCheckReport& report) {
    report.Title();
    CheckDriver(report);

    // The inventory as the probe opens it: COM and the device enumerator, then the library.
    // Unlike the probe, the library is tried even when the enumerator failed, and the endpoints
    // are listed even when the library failed, so that one run shows every problem.
    WCHAR endpointId[260];
    ZeroMemory(endpointId, sizeof endpointId);
    BOOL found = FALSE;
    {
        EndpointInventory inventory;
        HRESULT enumerator = StartEndpointInventory(&inventory);
        CheckExtensionLibrary(report, inventory);
        found = CheckEndpoint(report, inventory, enumerator, endpointId);
        CloseEndpointInventory(&inventory);
    }

    BOOL supported = CheckWindowsVersion(report);
    if (!found) {
        report.NotChecked(CHECK_FX_STORE, L"needs a speaker endpoint");
    } else if (!supported) {
        report.NotChecked(CHECK_FX_STORE, L"needs Windows Vista or Windows 7");
    } else {
        CheckFxStore(report, endpointId);
    }
    return report.Finish();
}
