#pragma once

#include <windows.h>

class CDeviceCallback;
class CEndpointCallbacks;

// Start-up's notification context: the client registered with the endpoint enumerator, the
// callbacks it forwards to, and the endpoint whose notifications are forwarded. Lives in
// InitInstance for the whole run; all fields start zero.
struct CEndpointNotifier {
    static constexpr int kMaxCallbacks = 20;

    BOOL comInitialized;      // start-up's CoInitializeEx succeeded: shutdown owes a CoUninitialize
    CDeviceCallback* client;  // registered client; owned; null once unregistered
    CEndpointCallbacks* callbacks[kMaxCallbacks];  // not owned, in insertion order
    LONG callbackCount;
    WCHAR endpointId[260];
};
