#include "sim/machine/PhaseReport.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/platform/CallSweep.h"
#include "sim/platform/ImportTable.h"

namespace bench {
namespace {

using LoadLibraryWFunction = HMODULE(WINAPI*)(LPCWSTR);
using FreeLibraryFunction = BOOL(WINAPI*)(HMODULE);
using RegOpenKeyExWFunction = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);

LoadLibraryWFunction g_loadLibraryW = nullptr;
FreeLibraryFunction g_freeLibrary = nullptr;
RegOpenKeyExWFunction g_regOpenKeyExW = nullptr;
std::wstring g_file;
HHOOK g_create = nullptr, g_sent = nullptr, g_returned = nullptr;
bool g_sheetSeen = false;

HMODULE WINAPI NotedLoadLibraryW(LPCWSTR name) {
    sim::call_sweep::Note("LoadLibraryW");
    return g_loadLibraryW(name);
}

BOOL WINAPI NotedFreeLibrary(HMODULE module) {
    sim::call_sweep::Note("FreeLibrary");
    return g_freeLibrary(module);
}

LSTATUS WINAPI NotedRegOpenKeyExW(HKEY root, LPCWSTR path, DWORD options, REGSAM access,
                                  PHKEY key) {
    sim::call_sweep::Note("RegOpenKeyExW");
    return g_regOpenKeyExW(root, path, options, access, key);
}

bool IsDialog(HWND window) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770";
}

// The page: a dialog inside another window (the sheet).
bool IsPage(HWND window) {
    return IsDialog(window) && ::GetParent(window) != nullptr;
}

LRESULT CALLBACK OnCreate(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && !g_sheetSeen) {
        auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        LPCWSTR name = create->lpcs->lpszClass;
        bool dialog = IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) == 0x8002
                                           : std::wstring(name) == L"#32770";
        if (!create->lpcs->hwndParent && dialog) {
            g_sheetSeen = true;
            sim::call_sweep::Note("sheet created");
        }
    }
    return ::CallNextHookEx(g_create, code, wParam, lParam);
}

LRESULT CALLBACK OnSent(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION) {
        if (sent->message == WM_INITDIALOG && IsPage(sent->hwnd)) {
            sim::call_sweep::Note("page WM_INITDIALOG");
        } else if (sent->message == WM_SETFONT && IsPage(sent->hwnd)) {
            sim::call_sweep::Note("page WM_SETFONT");
        } else if (sent->message == STM_SETIMAGE) {
            sim::call_sweep::Note("STM_SETIMAGE");
        }
    }
    return ::CallNextHookEx(g_sent, code, wParam, lParam);
}

LRESULT CALLBACK OnReturned(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION) {
        if (sent->message == WM_INITDIALOG && IsPage(sent->hwnd)) {
            sim::call_sweep::Note("page WM_INITDIALOG done");
        } else if (sent->message == STM_SETIMAGE) {
            sim::call_sweep::Note("STM_SETIMAGE done");
        }
    }
    return ::CallNextHookEx(g_returned, code, wParam, lParam);
}

// Each phase begins with the first event of that name after the phase before began; a phase
// whose event never came (the policy, on an endpoint that is not Speakers) is left out.
struct Phase {
    const char* name;
    const char* begins;
};
const Phase kPhases[] = {
    {"start-up before the probe", "InitInstance"},
    {"probe: discovery and the effect-support query", "SetupDiCreateDeviceInfoList"},
    {"inventory: open, enumerator", "CoCreateInstance(MMDeviceEnumerator)"},
    {"inventory: open, library load and look-ups", "LoadLibraryW"},
    {"inventory: build", "IMMDeviceEnumerator::EnumAudioEndpoints"},
    {"inventory: close", "FreeLibrary"},
    {"COM and the registration", "CoCreateInstance(MMDeviceEnumerator)"},
    {"store: open", "CoCreateInstance(MMDeviceEnumerator)"},
    {"sheet: creation", "sheet created"},
    {"page: form factor", "page WM_INITDIALOG"},
    {"page: policy", "RegOpenKeyExW"},
    {"page: bypass", "FxStore::GetValue {1DA5D803},5"},
    {"page: font", "page WM_SETFONT"},
    {"page: device", "CoCreateInstance(MMDeviceEnumerator)"},
    {"page: load", "FxStore::GetValue {A6F29F8F},2"},
    {"page: logo", "STM_SETIMAGE"},
    {"page: slider, controls, callback", "STM_SETIMAGE done"},
    {"page: the read once listed", "FxStore::GetValue {729AD972},0"},
    {"first paint", "page WM_INITDIALOG done"},
};

}  // namespace

void StartPhaseReportFromEnvironment() {
    wchar_t file[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableW(L"HALVO_PHASE_REPORT", file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    g_file = file;
    sim::ReplaceImport("kernel32.dll", "LoadLibraryW", reinterpret_cast<void*>(&NotedLoadLibraryW),
                       reinterpret_cast<void**>(&g_loadLibraryW));
    sim::ReplaceImport("kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(&NotedFreeLibrary),
                       reinterpret_cast<void**>(&g_freeLibrary));
    sim::ReplaceImport("advapi32.dll", "RegOpenKeyExW",
                       reinterpret_cast<void*>(&NotedRegOpenKeyExW),
                       reinterpret_cast<void**>(&g_regOpenKeyExW));
    DWORD thread = ::GetCurrentThreadId();
    g_create = ::SetWindowsHookExW(WH_CBT, OnCreate, nullptr, thread);
    g_sent = ::SetWindowsHookExW(WH_CALLWNDPROC, OnSent, nullptr, thread);
    g_returned = ::SetWindowsHookExW(WH_CALLWNDPROCRET, OnReturned, nullptr, thread);
    sim::call_sweep::StartCounting();
}

void MarkInitInstance() {
    sim::call_sweep::Note("InitInstance");
}

bool FinishPhaseReport(int64_t paintedAt) {
    if (g_file.empty()) {
        return false;
    }
    std::vector<sim::call_sweep::Call> events = sim::call_sweep::RecordedEvents();
    sim::call_sweep::Stop();
    for (HHOOK* hook : {&g_create, &g_sent, &g_returned}) {
        if (*hook) {
            ::UnhookWindowsHookEx(*hook);
            *hook = nullptr;
        }
    }
    struct Begun {
        const char* name;
        int64_t at;
    };
    std::vector<Begun> begun;
    size_t from = 0;
    for (const Phase& phase : kPhases) {
        for (size_t i = from; i < events.size(); ++i) {
            if (events[i].name == phase.begins) {
                begun.push_back({phase.name, events[i].at});
                from = i + 1;
                break;
            }
        }
    }
    FILE* file = _wfopen(g_file.c_str(), L"w");
    if (!file || begun.empty()) {
        if (file) {
            std::fclose(file);
        }
        return false;
    }
    for (size_t i = 0; i < begun.size(); ++i) {
        int64_t end = i + 1 < begun.size() ? begun[i + 1].at : paintedAt;
        std::fprintf(file, "%s\t%lld\n", begun[i].name,
                     static_cast<long long>((end - begun[i].at) / 1000));
    }
    std::fclose(file);
    return true;
}

}  // namespace bench
