// halvo-probe: reads the running sheet from another process, as a person sees it, and presses
// its buttons. The end-to-end scripts use it to find where to click and to check the controls.
// Whenever it fails it says on stderr what it did not find: the window, the control, or the
// question that went unanswered.
//
//   halvo-probe wait [SECONDS]   waits until the sheet is shown with its page and all its
//                                controls, and its thread answers; exit 1 if that does not come
//   halvo-probe state            the sheet as JSON: title, its screen rectangle, whether it is the
//                                foreground window, the control that has the focus (0 for none of
//                                them), and each control's screen rectangle, visibility, enabled
//                                state, check state, text, slider position
//   halvo-probe press ok|cancel  presses the sheet's button
//   halvo-probe close            closes the sheet with its close box
//   halvo-probe about            whether an About box is shown (exit 0 when it is)
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// How long the sheet's thread may take to answer one question: it answers between its own
// messages, and on a loaded machine those can keep it busy for a while.
constexpr UINT kAnswerMilliseconds = 5000;

struct Control {
    int id;
    bool onPage;  // a control of the page; the others belong to the sheet
    const char* name;
};

const Control kControls[] = {
    {1000, true, "bypass box"},
    {1001, true, "Sound Space Expander box"},
    {1002, true, "Halvo Headphone box"},
    {1003, true, "Natural Bass box"},
    {1004, true, "Bass Boost read-out"},
    {1005, true, "Bass Boost slider"},
    {1006, true, "logo"},
    {IDOK, false, "OK button"},
    {IDCANCEL, false, "Cancel button"},
    {0x3021, false, "Apply button"},
    {IDHELP, false, "Help button"},
};
constexpr size_t kControlCount = sizeof kControls / sizeof kControls[0];

// What the probe looked for and did not find, for the line it prints when it fails.
std::string g_missing;

bool Missing(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_missing = text;
    return false;
}

int Fail(const char* command) {
    std::fprintf(stderr, "halvo-probe %s: %s\n", command, g_missing.c_str());
    return 1;
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

std::string Title(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return Utf8(text);
}

struct Found {
    HWND window;
    const wchar_t* suffix;
};

BOOL CALLBACK FindTitled(HWND hWnd, LPARAM lParam) {
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
    ::EnumWindows(&FindTitled, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

// The sheet's windows as the probe found them.
struct SheetWindows {
    HWND sheet = nullptr;
    HWND page = nullptr;
    std::string title;
    HWND controls[kControlCount] = {};
};

bool FindSheet(SheetWindows* found) {
    found->sheet = FindTopLevel(L"Properties");
    if (!found->sheet) {
        return Missing("no sheet is shown (no visible window whose title ends in \"Properties\")");
    }
    found->title = Title(found->sheet);
    found->page = ::FindWindowExW(found->sheet, nullptr, L"#32770", nullptr);
    if (!found->page) {
        return Missing("the sheet \"%s\" has no page", found->title.c_str());
    }
    for (size_t i = 0; i < kControlCount; ++i) {
        const Control& control = kControls[i];
        found->controls[i] = ::GetDlgItem(control.onPage ? found->page : found->sheet, control.id);
        if (!found->controls[i]) {
            return Missing("the %s (control %d) is not on the %s of \"%s\"", control.name,
                           control.id, control.onPage ? "page" : "sheet", found->title.c_str());
        }
    }
    return true;
}

// Sends a question to a window of the sheet's process and takes its answer, without waiting on a
// thread that does not answer.
bool Ask(HWND window, const char* what, UINT message, const char* query, WPARAM wParam,
         LPARAM lParam, LRESULT* answer) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                               kAnswerMilliseconds, &result)) {
        return Missing("%s did not answer %s within %u ms (error %lu)", what, query,
                       kAnswerMilliseconds, ::GetLastError());
    }
    *answer = static_cast<LRESULT>(result);
    return true;
}

// The sheet as a person sees it once it is up: shown, with its page, and answering.
bool FindShownSheet(SheetWindows* found) {
    if (!FindSheet(found)) {
        return false;
    }
    if (!::IsWindowVisible(found->page)) {
        return Missing("the page of \"%s\" is not visible", found->title.c_str());
    }
    std::string what = "the sheet \"" + found->title + "\"";
    LRESULT ignored = 0;
    return Ask(found->sheet, what.c_str(), WM_NULL, "WM_NULL", 0, 0, &ignored);
}

int FocusedControl(const SheetWindows& found) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(found.sheet, nullptr), &info)) {
        return 0;
    }
    for (size_t i = 0; i < kControlCount; ++i) {
        if (found.controls[i] == info.hwndFocus) {
            return kControls[i].id;
        }
    }
    return 0;
}

bool DescribeControl(size_t i, HWND window, std::string* json) {
    const Control& control = kControls[i];
    char what[96];
    std::snprintf(what, sizeof what, "the %s (control %d)", control.name, control.id);
    RECT rect = {};
    if (!::GetWindowRect(window, &rect)) {
        return Missing("%s has no rectangle: it is gone", what);
    }
    // WM_GETTEXT itself: GetWindowText does not ask a control of another process.
    wchar_t text[256] = {};
    LRESULT answer = 0;
    if (!Ask(window, what, WM_GETTEXT, "WM_GETTEXT", 256, reinterpret_cast<LPARAM>(text),
             &answer)) {
        return false;
    }
    long position = -1;
    if (control.id == 1005) {
        if (!Ask(window, what, TBM_GETPOS, "TBM_GETPOS", 0, 0, &answer)) {
            return false;
        }
        position = static_cast<long>(answer);
    }
    long checked = -1;
    if (control.id >= 1000 && control.id <= 1003) {
        if (!Ask(window, what, BM_GETCHECK, "BM_GETCHECK", 0, 0, &answer)) {
            return false;
        }
        checked = static_cast<long>(answer);
    }
    char line[1536];
    std::snprintf(line, sizeof line,
                  "    \"%d\": {\"left\": %ld, \"top\": %ld, \"right\": %ld, \"bottom\": %ld, "
                  "\"visible\": %s, \"enabled\": %s, \"checked\": %ld, \"position\": %ld, "
                  "\"text\": \"%s\"}%s\n",
                  control.id, rect.left, rect.top, rect.right, rect.bottom,
                  ::IsWindowVisible(window) ? "true" : "false",
                  ::IsWindowEnabled(window) ? "true" : "false", checked, position,
                  Utf8(text).c_str(), i + 1 < kControlCount ? "," : "");
    *json += line;
    return true;
}

// Prints the whole reading or nothing: a reading that could not be finished is a failure.
int State() {
    SheetWindows found;
    if (!FindSheet(&found)) {
        return Fail("state");
    }
    RECT frame = {};
    ::GetWindowRect(found.sheet, &frame);
    char head[1536];
    std::snprintf(head, sizeof head,
                  "{\n  \"title\": \"%s\",\n"
                  "  \"sheet\": {\"left\": %ld, \"top\": %ld, \"right\": %ld, \"bottom\": %ld},\n"
                  "  \"foreground\": %s,\n  \"focus\": %d,\n  \"controls\": {\n",
                  found.title.c_str(), frame.left, frame.top, frame.right, frame.bottom,
                  ::GetForegroundWindow() == found.sheet ? "true" : "false", FocusedControl(found));
    std::string json = head;
    for (size_t i = 0; i < kControlCount; ++i) {
        if (!DescribeControl(i, found.controls[i], &json)) {
            return Fail("state");
        }
    }
    json += "  }\n}\n";
    std::fwrite(json.data(), 1, json.size(), stdout);
    return 0;
}

int Wait(int seconds) {
    DWORD start = ::GetTickCount();
    SheetWindows found;
    while (!FindShownSheet(&found)) {
        if (::GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000) {
            std::string last = g_missing;
            Missing("after %d s, %s", seconds, last.c_str());
            return Fail("wait");
        }
        ::Sleep(100);
    }
    return 0;
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
        if (FindTopLevel(L"About Halvo Setting")) {
            return 0;
        }
        Missing("no About box is shown (no visible window titled \"About Halvo Setting\")");
        return Fail("about");
    }
    HWND sheet = FindTopLevel(L"Properties");
    if (!sheet) {
        Missing("no sheet is shown (no visible window whose title ends in \"Properties\")");
        return Fail(command == L"close" ? "close" : "press");
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
