#include "tests/support/ModalAction.h"

#include <map>

namespace {

thread_local std::map<UINT_PTR, ScopedModalAction*> t_pending;

}  // namespace

ScopedModalAction::ScopedModalAction(std::function<void()> action, UINT delayMilliseconds)
    : m_action(std::move(action)) {
    m_timer = ::SetTimer(nullptr, 0, delayMilliseconds, &ScopedModalAction::OnTimer);
    t_pending[m_timer] = this;
}

ScopedModalAction::~ScopedModalAction() {
    if (t_pending.erase(m_timer)) {
        ::KillTimer(nullptr, m_timer);
    }
}

void CALLBACK ScopedModalAction::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    auto found = t_pending.find(id);
    ::KillTimer(nullptr, id);
    if (found == t_pending.end()) {
        return;
    }
    ScopedModalAction* self = found->second;
    t_pending.erase(found);
    self->m_ran = true;
    self->m_action();
}

namespace {

struct Search {
    const wchar_t* caption;
    HWND found;
    int visible;
};

BOOL CALLBACK VisitWindow(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    wchar_t text[256] = {};
    ::GetWindowTextW(hWnd, text, 256);
    if (search->caption && !search->found && wcscmp(text, search->caption) == 0) {
        search->found = hWnd;
    }
    if (::IsWindowVisible(hWnd)) {
        ++search->visible;
    }
    return TRUE;
}

}  // namespace

int VisibleThreadWindows() {
    Search search = {nullptr, nullptr, 0};
    ::EnumThreadWindows(::GetCurrentThreadId(), &VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.visible;
}

HWND FindThreadWindow(const wchar_t* caption) {
    Search search = {caption, nullptr, 0};
    ::EnumThreadWindows(::GetCurrentThreadId(), &VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
