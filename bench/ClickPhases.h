#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "sim/audio/AudioService.h"

namespace bench {

// What the page thread had done by a moment: its time on a CPU, its time ready to run but
// waiting for one (the kernel's own counts for the thread), and its time waiting for the
// stand-ins' locks, all in nanoseconds.
struct ThreadTimes {
    int64_t onCpu = 0;
    int64_t waitingForCpu = 0;
    int64_t waitingForLocks = 0;
};

// The calling thread's times so far.
ThreadTimes ThisThreadTimes();

// Where one click's time goes, stamped from outside the program on the page thread itself: the
// button-up taken from its queue (a message hook) and its call that writes (the service's call
// observer). Input runs from the click to the button-up: the mouse's path through Wine and the
// page thread's queue. Work runs from the button-up to the write's call: the page's own handling,
// its reads included. The write runs from that call to the word landing in the store.
class ClickPhases {
public:
    ClickPhases(sim::audio::AudioService& service, HWND box);
    ~ClickPhases();
    ClickPhases(const ClickPhases&) = delete;
    ClickPhases& operator=(const ClickPhases&) = delete;

    // A click is about to be made.
    void Begin();
    int64_t ButtonUpAt() const { return m_buttonUpAt.load(); }
    int64_t WriteCalledAt() const { return m_writeCalledAt.load(); }
    // The page thread's calls into the service from the button-up to the write's call.
    int Calls() const { return m_calls.load(); }
    // What the page thread did in the click's input and in its work; the input's counts are all
    // below 0 when the page thread had taken no message since the hook was set, which leaves
    // nothing to count from.
    ThreadTimes InInput() const;
    ThreadTimes InWork() const;

private:
    static LRESULT CALLBACK OnMessage(int code, WPARAM removed, LPARAM lParam);
    struct Stamp {
        std::atomic<int64_t> onCpu{0}, waitingForCpu{0}, waitingForLocks{0};
        void Set(const ThreadTimes& times);
        ThreadTimes Get() const;
    };
    static ThreadTimes Between(const Stamp& from, const Stamp& to);

    static inline ClickPhases* s_self = nullptr;
    sim::audio::AudioService& m_service;
    HWND m_box;
    DWORD m_pageThread;
    HHOOK m_hook = nullptr;
    // The page thread's times at its last message before the click, at the button-up and at the
    // write's call.
    Stamp m_lastMessage, m_atClick, m_atButtonUp, m_atWrite;
    std::atomic<int64_t> m_buttonUpAt{0}, m_writeCalledAt{0};
    std::atomic<int> m_calls{0};
    std::atomic<bool> m_wrote{false};
};

}  // namespace bench
