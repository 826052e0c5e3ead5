#pragma once

#include <windows.h>

// A menu wrapper; it owns nothing (the system menu belongs to its window).
class CMenu {
public:
    HMENU m_hMenu = nullptr;

    // A wrapper for the menu that lives as long as the thread.
    static CMenu* FromHandle(HMENU hMenu);

    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr) {
        return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
    }
};
