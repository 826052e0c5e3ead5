#include "page/DeviceCallback.h"

#include <cwchar>

#include "app/EndpointNotifier.h"
#include "page/EndpointCallbacks.h"

SRWLOCK CDeviceCallback::s_ownerLock = SRWLOCK_INIT;

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

// On a thread of the audio service, several of which may call at once: only the endpoint the page
// shows is forwarded, and the callbacks only post. The list is walked under the notifier's lock,
// held shared. Nothing of the client is touched once its lock is let go.
HRESULT STDMETHODCALLTYPE CDeviceCallback::OnPropertyValueChanged(LPCWSTR pwstrDeviceId,
                                                                  const PROPERTYKEY key) {
    PROPERTYKEY changed = key;
    // The owner is read under the cut-off's lock, so the notifier cannot end between the test
    // and the use.
    AcquireSRWLockShared(&s_ownerLock);
    if (owner && pwstrDeviceId) {
        AcquireSRWLockShared(&owner->lock);
        if (wcscmp(pwstrDeviceId, owner->endpointId) == 0) {
            for (LONG i = 0; i < owner->callbackCount; ++i) {
                PROPERTYKEY copy = changed;
                owner->callbacks[i]->OnEndpointPropertyChanged(&copy);
            }
        }
        ReleaseSRWLockShared(&owner->lock);
    }
    ReleaseSRWLockShared(&s_ownerLock);
    return S_OK;
}

void CDeviceCallback::CutOff() {
    AcquireSRWLockExclusive(&s_ownerLock);
    owner = nullptr;
    ReleaseSRWLockExclusive(&s_ownerLock);
}
