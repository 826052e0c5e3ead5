#include "page/PageRefresh.h"

#include "platform/Platform.h"

int CPageRefresh::Slot(WPARAM kind) {
    switch (kind) {
        case EPC_BYPASS: return 0;
        case EPC_EFFECTS: return 1;
        case EPC_JACK: return 2;
        default: return -1;
    }
}

void CPageRefresh::Start(HWND window) {
    m_window = window;
    ::SetTimer(window, kSweepTimer, kSweepMilliseconds, nullptr);
}

void CPageRefresh::Stop() {
    ::KillTimer(m_window, kSweepTimer);
    ::KillTimer(m_window, kRestTimer);
}

void CPageRefresh::Changed(WPARAM kind) {
    int slot = Slot(kind);
    if (slot < 0) {
        return;
    }
    InterlockedExchange(&m_pending[slot], 1);
    // A refresh on its way, or the page's rest, will see this change too.
    if (m_window && TryShutGate() &&
        !platform::PostMessageW(m_window, WM_ENDPOINT_PROPERTY_CHANGED, kind, 0)) {
        OpenGate();  // the next change, or the sweep, tries again
    }
}

bool CPageRefresh::TakePending(WPARAM kind) {
    int slot = Slot(kind);
    return slot >= 0 && InterlockedExchange(&m_pending[slot], 0) != 0;
}

bool CPageRefresh::AnyPending() const {
    return m_pending[0] || m_pending[1] || m_pending[2];
}

bool CPageRefresh::IsRefreshTimer(UINT_PTR timer) {
    return timer == kRestTimer || timer == kSweepTimer;
}

// Without the rest's timer there is no rest: the next change posts again.
void CPageRefresh::Rest() {
    if (!::SetTimer(m_window, kRestTimer, kRestMilliseconds, nullptr)) {
        OpenGate();
    }
}

// Changes that came during the rest, or whose message was lost, are read at once; a change that
// has just posted its own message is read when that comes.
bool CPageRefresh::TimerTicked(UINT_PTR timer) {
    if (timer == kRestTimer) {
        ::KillTimer(m_window, kRestTimer);
        OpenGate();
    }
    return AnyPending() && TryShutGate();
}
