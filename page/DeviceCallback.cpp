#include "page/DeviceCallback.h"

CDeviceCallback::CDeviceCallback(CEndpointNotifier* owner) : owner(owner), refCount(1) {}

HRESULT STDMETHODCALLTYPE CDeviceCallback::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(IMMNotificationClient))) {
        AddRef();
        *ppv = static_cast<IMMNotificationClient*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CDeviceCallback::AddRef() {
    return InterlockedIncrement(&refCount);
}

ULONG STDMETHODCALLTYPE CDeviceCallback::Release() {
    LONG count = InterlockedDecrement(&refCount);
    if (count == 0) {
        delete this;
    }
    return count;
}

// Forwarding to the page's callbacks comes with the page's refresh.
HRESULT STDMETHODCALLTYPE CDeviceCallback::OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) {
    return S_OK;
}
