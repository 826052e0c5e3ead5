#include "app/PropertyPageApp.h"

#include <commctrl.h>
#include <mmdeviceapi.h>

#include <memory>
#include <new>

#include "app/EndpointNotifier.h"
#include "app/PropPageSheet.h"
#include "driver/InstalledEffects.h"
#include "framework/CCoInitialize.h"
#include "framework/CComPtr.h"
#include "fxstore/FxPropertyStore.h"
#include "page/DeviceCallback.h"
#include "page/HalvoPageSoundRoom.h"
#include "res/resource.h"

namespace {

// An endpoint enumerator, for registering the notification client.
CComPtr<IMMDeviceEnumerator> CreateEnumerator() {
    CComPtr<IMMDeviceEnumerator> enumerator;
    CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                     reinterpret_cast<void**>(&enumerator));
    return enumerator;
}

// Unregisters the client, then balances start-up's COM initialisation. Unregistration need not
// wait for a call of the service that is under way in the client, and a service thread that took
// the client up just before may still call it a moment after: the client is first cut off from
// the notifier, which ends with start-up (the cut-off waits for a call using it), and a client
// that was ever registered keeps its first reference for as long as the process lives, so that
// such a late call finds it whole and cut off. Only a client that was never registered goes.
void TearDownNotifier(CEndpointNotifier& notifier) {
    CDeviceCallback* client = notifier.client;
    notifier.client = nullptr;
    bool registered = notifier.enumerator != nullptr;
    if (notifier.enumerator) {
        if (client) {
            notifier.enumerator->UnregisterEndpointNotificationCallback(client);
        }
        // The enumerator goes before COM does.
        notifier.enumerator->Release();
        notifier.enumerator = nullptr;
    }
    if (client) {
        client->CutOff();
        if (!registered) {
            client->Release();
        }
    }
    if (notifier.comInitialized) {
        CoUninitialize();
    }
}

}  // namespace

BEGIN_MESSAGE_MAP(CPropertyPageApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CPropertyPageApp::CPropertyPageApp() = default;

BOOL CPropertyPageApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = 8;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    EnableControlContainer();
    SetRegistryKey(L"Local AppWizard-Generated Applications");

    WCHAR endpointId[260];
    ZeroMemory(endpointId, sizeof endpointId);
    if (!GetInstalledSoundeffects(endpointId)) {
        return FALSE;
    }

    CEndpointNotifier notifier = {};
    std::unique_ptr<CPropPageSheet> sheet(new (std::nothrow)
                                              CPropPageSheet(L"Properties", nullptr, 0));
    std::unique_ptr<CHalvoPageSoundRoom> page(new (std::nothrow) CHalvoPageSoundRoom());
    if (!sheet || !page) {
        return FALSE;
    }

    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    notifier.comInitialized = init == S_OK || init == S_FALSE;

    // No allocation of start-up throws; one that fails ends the program quietly, as here.
    notifier.client = new (std::nothrow) CDeviceCallback(&notifier);
    if (!notifier.client) {
        TearDownNotifier(notifier);
        return FALSE;
    }
    {
        CComPtr<IMMDeviceEnumerator> enumerator = CreateEnumerator();
        if (enumerator &&
            SUCCEEDED(enumerator->RegisterEndpointNotificationCallback(notifier.client))) {
            notifier.enumerator = enumerator.Detach();
        }
    }

    CComPtr<IPropertyStore> fxStore;
    HRESULT opened;
    {
        // On this thread, already in the multithreaded apartment, this bracket changes nothing.
        CCoInitialize apartment(COINIT_APARTMENTTHREADED);
        opened = OpenFxPropertyStore(endpointId, &fxStore);
    }

    if (SUCCEEDED(opened)) {
        page->m_pszEndpointId = endpointId;
        page->m_pFxStore = fxStore.Get();
        page->m_pNotifier = &notifier;
        sheet->AddPage(page.get());
        sheet->m_psh.dwFlags |= PSH_PROPTITLE | PSH_USEHICON;
        sheet->m_psh.hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
        m_pMainWnd = sheet.get();

        // Every change is written when it is made: how the sheet was closed does not matter.
        sheet->DoModal();
    }

    // Shutdown: the page, the sheet, the store they used, then the notifier.
    page.reset();
    m_pMainWnd = nullptr;
    sheet.reset();
    fxStore.Release();
    TearDownNotifier(notifier);
    return FALSE;
}

int CPropertyPageApp::ExitInstance() {
    return CWinApp::ExitInstance();
}
