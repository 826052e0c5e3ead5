#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

struct CEndpointNotifier;

// The notification client start-up registers with the endpoint enumerator.
class CDeviceCallback : public IMMNotificationClient {
public:
    explicit CDeviceCallback(CEndpointNotifier* owner);
    virtual ~CDeviceCallback() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR pwstrDeviceId,
                                                     const PROPERTYKEY key) override;

    // Cuts the client off from its notifier, which is about to end; waits for a call that is
    // using the notifier to leave it.
    void CutOff();

    CEndpointNotifier* owner;  // read and cleared under ownerLock
    LONG refCount;
    SRWLOCK ownerLock = SRWLOCK_INIT;
};
