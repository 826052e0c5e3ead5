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

    // Cuts the client off from its notifier, which is about to end; waits for a call of the
    // service that is using the notifier to leave it. Later calls do nothing.
    void CutOff();

    CEndpointNotifier* owner;  // read and cleared under s_ownerLock
    LONG refCount;

private:
    // Held shared by a call while it uses the owner, exclusively by the cut-off. Process-wide
    // rather than the client's own: a call that has just let go of it may still be touching it
    // when the cut-off client is freed.
    static SRWLOCK s_ownerLock;
};
