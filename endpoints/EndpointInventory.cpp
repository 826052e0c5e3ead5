#include "endpoints/EndpointInventory.h"

#include <functiondiscoverykeys_devpkey.h>
#include <objbase.h>

#include <cstring>
#include <cwchar>

#include "endpoints/ExtensionLibrary.h"
#include "framework/CCoTaskMemString.h"
#include "framework/CComPtr.h"

namespace {

constexpr DWORD kListedStates =
    DEVICE_STATE_ACTIVE | DEVICE_STATE_DISABLED | DEVICE_STATE_UNPLUGGED;

bool HasRecordFor(const EndpointInventory* inventory, const WCHAR* id) {
    for (INT_PTR i = 0; i < GetEndpointRecordCount(inventory); ++i) {
        if (std::wcscmp(GetEndpointRecord(inventory, i)->endpointId, id) == 0) {
            return true;
        }
    }
    return false;
}

// A record for one endpoint, appended to the list; the endpoint is skipped when its id does
// not fit a record or no record can be had.
void AddRecord(EndpointInventory* inventory, IMMDevice* device, EDataFlow dataFlow,
               const WCHAR* id) {
    if (std::wcslen(id) >= ENDPOINT_TEXT_UNITS || HasRecordFor(inventory, id)) {
        return;
    }
    // Records are CoTaskMem blocks, like every other block the inventory hands around.
    auto* record = static_cast<EndpointRecord*>(CoTaskMemAlloc(sizeof(EndpointRecord)));
    if (!record) {
        return;
    }
    std::memset(record, 0, sizeof *record);
    record->dataFlow = dataFlow;
    std::wcscpy(record->endpointId, id);
    ReadEndpointString(device, PKEY_Device_DeviceDesc, record->description);
    ReadEndpointString(device, PKEY_Device_FriendlyName, record->friendlyName);
    ClassifyEndpoint(record, device, dataFlow);
    if (!inventory->records.AddTail(record)) {
        CoTaskMemFree(record);
        return;
    }
    device->AddRef();
    record->device = device;
}

void ListEndpoints(EndpointInventory* inventory, EDataFlow dataFlow) {
    CComPtr<IMMDeviceCollection> collection;
    if (FAILED(inventory->deviceEnumerator->EnumAudioEndpoints(dataFlow, kListedStates,
                                                               &collection)) ||
        !collection) {
        return;
    }
    UINT count = 0;
    if (FAILED(collection->GetCount(&count))) {
        return;
    }
    for (UINT item = 0; item < count; ++item) {
        CComPtr<IMMDevice> device;
        if (FAILED(collection->Item(item, &device)) || !device) {
            continue;
        }
        CCoTaskMemString id;
        if (FAILED(device->GetId(&id)) || !id.Get()) {
            continue;
        }
        AddRecord(inventory, device.Get(), dataFlow, id.Get());
    }
}

}  // namespace

HRESULT StartEndpointInventory(EndpointInventory* inventory) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (init != S_OK && init != S_FALSE) {
        init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    inventory->comInitialized = init == S_OK || init == S_FALSE;

    HRESULT hr =
        CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                         reinterpret_cast<void**>(&inventory->deviceEnumerator));
    if (FAILED(hr)) {
        inventory->deviceEnumerator = nullptr;
    }
    return hr;
}

BOOL OpenEndpointInventory(EndpointInventory* inventory) {
    if (FAILED(StartEndpointInventory(inventory))) {
        return FALSE;
    }
    if (!LoadExtensionLibrary(inventory)) {
        return FALSE;
    }
    if (!BindExtensionExports(inventory)) {
        UnloadExtensionLibrary(inventory);
        return FALSE;
    }
    return TRUE;
}

void BuildEndpointInventory(EndpointInventory* inventory) {
    if (!inventory->deviceEnumerator) {
        return;
    }
    // Render endpoints first, so that they are found before any capture endpoint.
    ListEndpoints(inventory, eRender);
    ListEndpoints(inventory, eCapture);
}

void CloseEndpointInventory(EndpointInventory* inventory) {
    if (inventory->deviceEnumerator) {
        inventory->deviceEnumerator->Release();
        inventory->deviceEnumerator = nullptr;
    }
    for (POSITION position = inventory->records.GetHeadPosition(); position;) {
        auto* record = static_cast<EndpointRecord*>(inventory->records.GetNext(position));
        if (record->device) {
            record->device->Release();
            record->device = nullptr;
        }
    }
    while (!inventory->records.IsEmpty()) {
        CoTaskMemFree(inventory->records.RemoveHead());
    }
    UnloadExtensionLibrary(inventory);
    if (inventory->comInitialized) {
        CoUninitialize();
        inventory->comInitialized = FALSE;
    }
    inventory->records.RemoveAll();
}

INT_PTR GetEndpointRecordCount(const EndpointInventory* inventory) {
    return inventory->records.GetCount();
}

EndpointRecord* GetEndpointRecord(const EndpointInventory* inventory, INT_PTR index) {
    POSITION position = inventory->records.FindIndex(index);
    return position ? static_cast<EndpointRecord*>(inventory->records.GetAt(position)) : nullptr;
}
