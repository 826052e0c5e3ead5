#pragma once

#include <windows.h>

#include <functional>

// Runs an action once, from the message loop of whatever modal window is running on this thread
// when the delay has passed (a thread timer: the loops of dialogs and sheets dispatch it). Lets a
// test act on a modal window from inside the call that shows it. Several may be pending at once.
class ScopedModalAction {
public:
    explicit ScopedModalAction(std::function<void()> action, UINT delayMilliseconds = 50);
    ScopedModalAction(const ScopedModalAction&) = delete;
    ScopedModalAction& operator=(const ScopedModalAction&) = delete;
    ~ScopedModalAction();

    bool Ran() const { return m_ran; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);

    std::function<void()> m_action;
    UINT_PTR m_timer;
    bool m_ran = false;
};

// The visible top-level windows of this thread.
int VisibleThreadWindows();

// The first top-level window of this thread with that caption, shown or not yet shown, or null.
// A modal dialog box is shown only once its loop has run out of messages or has handled a timer
// message: an action run by the first timer message in its loop finds it still hidden.
HWND FindThreadWindow(const wchar_t* caption);
