// halvo-probe: reads the running sheet from another process, as a person sees it, and presses
// its buttons. The end-to-end scripts use it to find where to click and to check the controls.
//
//   halvo-probe wait [SECONDS]   waits until a sheet is shown; exit 1 if none comes
//   halvo-probe state            the sheet as JSON: title, its screen rectangle, and each
//                                control's screen rectangle, visibility, enabled state, check
//                                state, text, slider position
//   halvo-probe press ok|cancel  presses the sheet's button
//   halvo-probe close            closes the sheet with its close box
//   halvo-probe about            whether an About box is shown (exit 0 when it is)
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Found {
    HWND window;
    const wchar_t* suffix;
};

BOOL CALLBACK FindSheet(HWND hWnd, LPARAM lParam) {
    auto* found = reinterpret_cast<Found*>(lParam);
    wchar_t title[256] = {};
    ::GetWindowTextW(hWnd, title, 256);
    size_t length = wcslen(title), suffix = wcslen(found->suffix);
    if (::IsWindowVisible(hWnd) && length >= suffix &&
        wcscmp(title + length - suffix, found->suffix) == 0) {
        found->window = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindTopLevel(const wchar_t* suffix) {
    Found found = {nullptr, suffix};
    ::EnumWindows(&FindSheet, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

HWND Sheet() {
    return FindTopLevel(L"Properties");
}

std::string Utf8(const wchar_t* text) {
    char out[1024] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    std::string escaped;
    for (const char* c = out; *c; ++c) {
        if (*c == '"' || *c == '\\') {
            escaped += '\\';
        }
        escaped += *c;
    }
    return escaped;
}

int State() {
    HWND sheet = Sheet();
    if (!sheet) {
        std::fprintf(stderr, "halvo-probe: no sheet is shown\n");
        return 1;
    }
    HWND page = ::FindWindowExW(sheet, nullptr, L"#32770", nullptr);
    wchar_t text[256] = {};
    ::GetWindowTextW(sheet, text, 256);
    RECT frame = {};
    ::GetWindowRect(sheet, &frame);
    std::printf("{\n  \"title\": \"%s\",\n", Utf8(text).c_str());
    std::printf("  \"sheet\": {\"left\": %ld, \"top\": %ld, \"right\": %ld, \"bottom\": %ld},\n",
                frame.left, frame.top, frame.right, frame.bottom);
    std::printf("  \"controls\": {\n");
    const int ids[] = {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1, 2, 0x3021, 9};
    for (size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
        HWND parent = ids[i] >= 1000 && ids[i] <= 1006 ? page : sheet;
        HWND control = ::GetDlgItem(parent, ids[i]);
        RECT rect = {};
        ::GetWindowRect(control, &rect);
        // WM_GETTEXT itself: GetWindowText does not ask a control of another process.
        text[0] = L'\0';
        DWORD_PTR copied = 0;
        ::SendMessageTimeoutW(control, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text),
                              SMTO_ABORTIFHUNG, 2000, &copied);
        long position =
            ids[i] == 1005 ? static_cast<long>(::SendMessageW(control, TBM_GETPOS, 0, 0)) : -1;
        long checked = ids[i] >= 1000 && ids[i] <= 1003
                           ? static_cast<long>(::SendMessageW(control, BM_GETCHECK, 0, 0))
                           : -1;
        std::printf(
            "    \"%d\": {\"exists\": %s, \"left\": %ld, \"top\": %ld, \"right\": %ld, "
            "\"bottom\": %ld, \"visible\": %s, \"enabled\": %s, \"checked\": %ld, "
            "\"position\": %ld, \"text\": \"%s\"}%s\n",
            ids[i], control ? "true" : "false", rect.left, rect.top, rect.right, rect.bottom,
            ::IsWindowVisible(control) ? "true" : "false",
            ::IsWindowEnabled(control) ? "true" : "false", checked, position, Utf8(text).c_str(),
            i + 1 < sizeof ids / sizeof ids[0] ? "," : "");
    }
    std::printf("  }\n}\n");
    return 0;
}

int Wait(int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (Sheet()) {
            // Give the page its first paint.
            ::Sleep(300);
            return 0;
        }
        ::Sleep(100);
    }
    std::fprintf(stderr, "halvo-probe: no sheet was shown\n");
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"state";
    if (command == L"wait") {
        return Wait(argc > 2 ? _wtoi(argv[2]) : 20);
    }
    if (command == L"state") {
        return State();
    }
    if (command == L"about") {
        return FindTopLevel(L"About Halvo Setting") ? 0 : 1;
    }
    HWND sheet = Sheet();
    if (!sheet) {
        std::fprintf(stderr, "halvo-probe: no sheet is shown\n");
        return 1;
    }
    if (command == L"press" && argc > 2) {
        int button = wcscmp(argv[2], L"ok") == 0 ? PSBTN_OK : PSBTN_CANCEL;
        ::PostMessageW(sheet, PSM_PRESSBUTTON, button, 0);
        return 0;
    }
    if (command == L"close") {
        ::PostMessageW(sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    std::fprintf(stderr, "halvo-probe: usage: wait|state|press ok|press cancel|close|about\n");
    return 2;
}
