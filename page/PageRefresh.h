#pragma once

#include <windows.h>

class CHalvoPageSoundRoom;

// The page's refresh message: wParam is the kind of refresh, lParam 0.
constexpr UINT WM_ENDPOINT_PROPERTY_CHANGED = 3041;
enum : WPARAM {
    EPC_BYPASS = 1,    // re-read the bypass value, then refresh the controls
    EPC_EFFECTS = 12,  // re-read the headphone, expander and Natural Bass words, then refresh
    EPC_JACK = 18,     // re-decide the speaker or headphone presentation
};

// The page's refresh path. Changes are reported on the audio service's threads; the page reads
// them on its own. Its states:
//   pending  one flag per kind (bypass, effects, jack): a change of that kind is not read yet;
//   gate     shut while a refresh message is on its way or the page rests, so that a burst of
//            changes posts one message instead of flooding the page's queue;
//   rest     10 ms after each refresh in which the gate stays shut, so input and painting get
//            their turn; the changes that came meanwhile are then read all at once.
// What moves between them:
//   a change (service thread)    marks its kind pending; finding the gate open, it shuts it and
//                                posts the message; a failed post opens the gate again;
//   the message (page thread)    reads every pending kind and the posted one, then rests; with
//                                no timer for the rest the gate opens at once;
//   the rest's end (page thread) opens the gate; anything pending shuts it and is read, with a
//                                rest after it;
//   the sweep (page thread)      every 250 ms, reads in the same way anything pending behind an
//                                open gate: a change whose message could not be posted.
class CPageRefresh {
public:
    // On a service thread, for the page's callback: a change of that kind, posted to `page`.
    void Changed(WPARAM kind, HWND page);

    // On the page's thread, from its set-up to its end: the sweep's timer, then both timers
    // killed.
    void Start(HWND page);
    void Stop(HWND page);
    // On the page's thread: the refresh message, and the ticks of the rest's and sweep's timers.
    void OnMessage(CHalvoPageSoundRoom* page, WPARAM posted);
    static bool IsRefreshTimer(UINT_PTR timer);
    void OnTimer(CHalvoPageSoundRoom* page, UINT_PTR timer);

    // Whether a refresh of that kind is due, clearing it.
    bool TakePending(WPARAM kind);
    bool AnyPending() const;
    // TryShutGate says whether this call shut the gate.
    bool TryShutGate() { return InterlockedExchange(&m_gateShut, 1) == 0; }
    void OpenGate() { InterlockedExchange(&m_gateShut, 0); }

private:
    static constexpr UINT_PTR kRestTimer = 0x4852;
    static constexpr UINT kRestMilliseconds = 10;
    static constexpr UINT_PTR kSweepTimer = 0x4853;
    static constexpr UINT kSweepMilliseconds = 250;

    static int Slot(WPARAM kind);

    volatile LONG m_pending[3] = {};  // bypass, effects, jack
    volatile LONG m_gateShut = 0;
};
