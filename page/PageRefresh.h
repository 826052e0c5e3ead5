#pragma once

#include <windows.h>

#include <initializer_list>

#include "page/RefreshMessage.h"

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
//   the message (page thread)    has every pending kind and the posted one read, then rests;
//                                with no timer for the rest the gate opens at once;
//   the rest's end (page thread) opens the gate; anything pending shuts it and is read, with a
//                                rest after it;
//   the sweep (page thread)      every 250 ms, has anything pending behind an open gate read in
//                                the same way: a change whose message could not be posted.
// It knows the page only by its window, and reads through the one function it is given, so it
// works on any window that passes it the message and the two timers.
class CPageRefresh {
public:
    // On the page's thread, from its set-up to its end: the window the message goes to and the
    // sweep's timer, then both timers killed. Changes reported before Start are only marked.
    void Start(HWND window);
    void Stop();

    // On a service thread: a change of that kind.
    void Changed(WPARAM kind);

    // On the page's thread: the refresh message, and the ticks of the rest's and sweep's timers.
    // `read` is called once for each kind due, in the order bypass, effects, jack.
    template <typename Read>
    void OnMessage(WPARAM posted, Read&& read) {
        for (WPARAM kind : {EPC_BYPASS, EPC_EFFECTS, EPC_JACK}) {
            if (TakePending(kind) || kind == posted) {
                read(kind);
            }
        }
        Rest();
    }
    static bool IsRefreshTimer(UINT_PTR timer);
    template <typename Read>
    void OnTimer(UINT_PTR timer, Read&& read) {
        if (TimerTicked(timer)) {
            OnMessage(0, read);
        }
    }

    // Whether any change is marked and not yet handed back.
    bool AnyPending() const;

private:
    static constexpr UINT_PTR kRestTimer = 0x4852;
    static constexpr UINT kRestMilliseconds = 10;
    static constexpr UINT_PTR kSweepTimer = 0x4853;
    static constexpr UINT kSweepMilliseconds = 250;

    static int Slot(WPARAM kind);
    bool TakePending(WPARAM kind);
    void Rest();
    // Whether a tick finds changes to read now, the gate shut for them.
    bool TimerTicked(UINT_PTR timer);
    // Whether this call shut the gate.
    bool TryShutGate() { return InterlockedExchange(&m_gateShut, 1) == 0; }
    void OpenGate() { InterlockedExchange(&m_gateShut, 0); }

    // Set before the page's callback is listed, so a service thread reads it after the listing.
    HWND m_window = nullptr;
    volatile LONG m_pending[3] = {};  // bypass, effects, jack
    volatile LONG m_gateShut = 0;
};
