#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <cwchar>

class CDeviceCallback;
class CEndpointCallbacks;

// Start-up's notification context: the client registered with the endpoint enumerator, the
// callbacks it forwards to, and the endpoint whose notifications are forwarded. Lives in
// InitInstance for the whole run; all fields start zero.
//
// The audio service calls the client on threads of its own while the page adds, removes and
// deletes its callback on the user-interface thread: the list and the endpoint id are guarded by
// `lock`, held shared by a notification only while it walks the list (each callback merely posts
// a message) and exclusively by the page for a moment while it changes them. A callback is
// deleted only after it has left the list, so no notification can be calling it then.
struct CEndpointNotifier {
    static constexpr LONG kMaxCallbacks = 20;

    BOOL comInitialized;      // start-up's CoInitializeEx succeeded: shutdown owes a CoUninitialize
    CDeviceCallback* client;  // registered client; owned; null once unregistered
    // The enumerator the client was registered with, kept so that shutdown needs nothing new to
    // unregister it; owned; null when the registration failed.
    IMMDeviceEnumerator* enumerator;
    CEndpointCallbacks* callbacks[kMaxCallbacks];  // not owned, in insertion order
    LONG callbackCount;
    WCHAR endpointId[260];
    SRWLOCK lock;  // all zero is an unlocked SRWLOCK
};

// The endpoint whose notifications are forwarded, cut to fit.
inline void SetNotifierEndpoint(CEndpointNotifier* notifier, const WCHAR* endpointId) {
    AcquireSRWLockExclusive(&notifier->lock);
    wcsncpy(notifier->endpointId, endpointId ? endpointId : L"", 259);
    notifier->endpointId[259] = L'\0';
    ReleaseSRWLockExclusive(&notifier->lock);
}

// Appends a callback unless it is in the list already; a full list refuses it (FALSE), and so
// does a missing notifier or callback.
inline BOOL AddEndpointCallback(CEndpointNotifier* notifier, CEndpointCallbacks* callback) {
    if (!notifier || !callback) {
        return FALSE;
    }
    AcquireSRWLockExclusive(&notifier->lock);
    BOOL added = TRUE;
    for (LONG i = 0; i < notifier->callbackCount; ++i) {
        if (notifier->callbacks[i] == callback) {
            added = FALSE;
        }
    }
    if (added && notifier->callbackCount >= CEndpointNotifier::kMaxCallbacks) {
        added = FALSE;
    }
    if (added) {
        notifier->callbacks[notifier->callbackCount++] = callback;
    }
    ReleaseSRWLockExclusive(&notifier->lock);
    return added;
}

// Takes the first entry equal to the callback out of the list, moving the later ones down; a
// callback not in the list changes nothing. Once this returns no notification is calling it.
inline void RemoveEndpointCallback(CEndpointNotifier* notifier, CEndpointCallbacks* callback) {
    AcquireSRWLockExclusive(&notifier->lock);
    for (LONG i = 0; i < notifier->callbackCount; ++i) {
        if (notifier->callbacks[i] == callback) {
            --notifier->callbackCount;
            for (LONG j = i; j < notifier->callbackCount; ++j) {
                notifier->callbacks[j] = notifier->callbacks[j + 1];
            }
            notifier->callbacks[notifier->callbackCount] = nullptr;
            break;
        }
    }
    ReleaseSRWLockExclusive(&notifier->lock);
}
