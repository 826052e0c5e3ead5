#include "bench/sweep/ProcessLeftovers.h"

#include <pthread.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "sim/platform/ImportTable.h"

namespace sweep {
namespace {

// Handles are multiples of 4; past the last one in use, this many free values end the probe.
constexpr UINT_PTR kFreeRunEnd = 1024;
constexpr UINT_PTR kProbeLimit = 0x100000;
// Timer ids between two marks that are worth probing at most.
constexpr UINT_PTR kTimerProbeLimit = 4096;

// The threads' runtime makes an event for a lock of its own, which lives as long as the process,
// the first time two threads meet on it (a thread starting while another is still being made),
// and never closes it: whether that happens during a run is chance. The runtime is the one
// caller of CreateEventA in this wide-character program, so an event CreateEventA made is its own
// and is not counted. A handle value CreateEventW hands out later is the program's again.
using CreateEventAFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR);
using CreateEventWFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR);
constexpr size_t kRuntimeEvents = 64;
std::atomic<HANDLE> g_runtimeEvents[kRuntimeEvents];
CreateEventAFunction g_createEventA = nullptr;
CreateEventWFunction g_createEventW = nullptr;

void NoteRuntimeEvent(HANDLE made, HANDLE runtimes) {
    for (std::atomic<HANDLE>& slot : g_runtimeEvents) {
        HANDLE expected = made;
        if (slot.compare_exchange_strong(expected, runtimes)) {
            return;  // the value was noted before: it is now the runtime's, or no longer
        }
    }
    for (std::atomic<HANDLE>& slot : g_runtimeEvents) {
        HANDLE expected = nullptr;
        if (runtimes && slot.compare_exchange_strong(expected, runtimes)) {
            return;
        }
    }
}

HANDLE WINAPI RuntimeCreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                  BOOL initialState, LPCSTR name) {
    HANDLE event = g_createEventA(attributes, manualReset, initialState, name);
    if (event) {
        NoteRuntimeEvent(event, event);
    }
    return event;
}

HANDLE WINAPI ProgramCreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                  BOOL initialState, LPCWSTR name) {
    HANDLE event = g_createEventW(attributes, manualReset, initialState, name);
    if (event) {
        NoteRuntimeEvent(event, nullptr);
    }
    return event;
}

bool MadeByRuntime(HANDLE handle) {
    for (const std::atomic<HANDLE>& slot : g_runtimeEvents) {
        if (slot.load() == handle) {
            return true;
        }
    }
    return false;
}

using NtQueryObjectFunction = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG,
                                               PULONG);

// A function of ntdll's that the import libraries do not offer, or null.
template <typename Function>
Function Ntdll(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

std::string Narrow(const wchar_t* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        out += text[i] < 128 ? static_cast<char>(text[i]) : '?';
    }
    return out;
}

std::string TypeOf(HANDLE handle) {
    static auto query = Ntdll<NtQueryObjectFunction>("NtQueryObject");
    alignas(8) BYTE buffer[512] = {};
    ULONG length = 0;
    if (!query || query(handle, ObjectTypeInformation, buffer, sizeof buffer, &length) != 0) {
        return "object";
    }
    const UNICODE_STRING& name =
        reinterpret_cast<PUBLIC_OBJECT_TYPE_INFORMATION*>(buffer)->TypeName;
    return Narrow(name.Buffer, name.Length / sizeof(wchar_t));
}

// A named object's name ("\\REGISTRY\\USER\\...\\Software"), or "".
std::string NameOf(HANDLE handle) {
    static auto query = Ntdll<NtQueryObjectFunction>("NtQueryObject");
    alignas(8) BYTE buffer[1024] = {};
    ULONG length = 0;
    if (!query || query(handle, static_cast<OBJECT_INFORMATION_CLASS>(1), buffer, sizeof buffer,
                        &length) != 0) {
        return "";
    }
    const UNICODE_STRING& name = *reinterpret_cast<UNICODE_STRING*>(buffer);
    return Narrow(name.Buffer, name.Length / sizeof(wchar_t));
}

// The handle's type, with the name of a key or a file where it has one.
std::string DescribeHandle(HANDLE handle) {
    std::string type = TypeOf(handle);
    if (type == "Key") {
        return type + " " + NameOf(handle);
    }
    std::string name = type == "File" ? NameOf(handle) : "";
    return name.empty() ? type : type + " " + name;
}

bool IsFile(const std::string& description) {
    return description == "File" || description.rfind("File ", 0) == 0;
}

std::map<HANDLE, std::string> OpenHandles() {
    std::map<HANDLE, std::string> handles;
    UINT_PTR lastOpen = 0;
    for (UINT_PTR value = 4; value < kProbeLimit && value - lastOpen <= kFreeRunEnd * 4;
         value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        DWORD flags = 0;
        if (::GetHandleInformation(handle, &flags)) {
            handles[handle] = DescribeHandle(handle);
            lastOpen = value;
        }
    }
    return handles;
}

// How often each file name is open, leaving out the handle on the current directory.
std::map<std::string, int> OpenFiles(const std::map<HANDLE, std::string>& handles,
                                     HANDLE directoryHandle) {
    std::map<std::string, int> files;
    for (const auto& [handle, description] : handles) {
        if (IsFile(description) && handle != directoryHandle) {
            ++files[description];
        }
    }
    return files;
}

std::set<DWORD> Threads() {
    std::set<DWORD> threads;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return threads;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) {
            threads.insert(entry.th32ThreadID);
        }
    }
    ::CloseHandle(snapshot);
    return threads;
}

std::string Describe(HWND window) {
    wchar_t className[64] = {}, caption[64] = {};
    int classLength = ::GetClassNameW(window, className, 64);
    int captionLength = ::GetWindowTextW(window, caption, 64);
    return Narrow(className, static_cast<size_t>(classLength)) + " \"" +
           Narrow(caption, static_cast<size_t>(captionLength)) + "\"" +
           (::IsWindowVisible(window) ? "" : " (hidden)");
}

BOOL CALLBACK AddOwnWindow(HWND window, LPARAM lParam) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId()) {
        (*reinterpret_cast<std::map<HWND, std::string>*>(lParam))[window] = Describe(window);
    }
    return TRUE;
}

std::map<HWND, std::string> Windows() {
    std::map<HWND, std::string> windows;
    ::EnumWindows(&AddOwnWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window = nullptr;
         (window = ::FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr;) {
        AddOwnWindow(window, reinterpret_cast<LPARAM>(&windows));
    }
    return windows;
}

// A thread timer made and killed at once: the ids the program's thread timers got lie between
// two such marks.
UINT_PTR TimerMark() {
    UINT_PTR id = ::SetTimer(nullptr, 0, USER_TIMER_MAXIMUM, nullptr);
    ::KillTimer(nullptr, id);
    return id;
}

std::wstring CurrentDirectory() {
    wchar_t directory[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, directory);
    return directory;
}

std::string Narrow(const std::wstring& text) {
    return Narrow(text.c_str(), text.size());
}

// The handle the process keeps on its current directory, where Windows keeps it: in the process
// parameters' CURDIR, after its DOS path.
HANDLE CurrentDirectoryHandle() {
    constexpr size_t kCurrentDirectoryHandle = 0x48;
    using QueryFunction = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    static auto query = Ntdll<QueryFunction>("NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query ||
        query(::GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) {
        return nullptr;
    }
    const BYTE* parameters = reinterpret_cast<const BYTE*>(basic.PebBaseAddress->ProcessParameters);
    return *reinterpret_cast<const HANDLE*>(parameters + kCurrentDirectoryHandle);
}

}  // namespace

ProcessState TakeProcessState() {
    ProcessState state;
    state.timerMark = TimerMark();
    state.windows = Windows();
    state.threads = Threads();
    state.directory = CurrentDirectory();
    state.directoryHandle = CurrentDirectoryHandle();
    state.handles = OpenHandles();
    auto directory = state.handles.find(state.directoryHandle);
    state.directoryHandleName = directory == state.handles.end() ? "" : directory->second;
    return state;
}

std::vector<std::string> Leftovers(const ProcessState& before, const ProcessState& after) {
    std::vector<std::string> left;
    // Counted by type and named where the object has a name (a key's path, a file's), so that a
    // leftover says what was left.
    std::map<std::string, int> handles;
    for (const auto& [handle, type] : after.handles) {
        auto was = before.handles.find(handle);
        if (!IsFile(type) && (was == before.handles.end() || was->second != type) &&
            !(type == "Event" && MadeByRuntime(handle))) {
            // A key's entry holds its path already.
            std::string name = type == "Key" ? "" : NameOf(handle);
            ++handles[name.empty() ? type : type + " " + name];
        }
    }
    // A current directory that moved is left like any other file, besides being reported below.
    bool sameDirectory = after.directoryHandleName == before.directoryHandleName;
    std::map<std::string, int> filesBefore = OpenFiles(before.handles, before.directoryHandle);
    std::map<std::string, int> filesAfter =
        OpenFiles(after.handles, sameDirectory ? after.directoryHandle : nullptr);
    for (const auto& [file, count] : filesAfter) {
        auto was = filesBefore.find(file);
        int surplus = count - (was == filesBefore.end() ? 0 : was->second);
        if (surplus > 0) {
            handles[file] += surplus;
        }
    }
    for (const auto& [what, count] : handles) {
        left.push_back(std::to_string(count) + " " + what + " handle(s) left open");
    }
    size_t threads = std::count_if(after.threads.begin(), after.threads.end(),
                                   [&](DWORD thread) { return !before.threads.count(thread); });
    if (threads) {
        left.push_back(std::to_string(threads) + " thread(s) still running");
    }
    for (const auto& [window, description] : after.windows) {
        if (!before.windows.count(window)) {
            left.push_back("a window left: " + description);
        }
    }
    UINT_PTR low = std::min(before.timerMark, after.timerMark);
    UINT_PTR high = std::max(before.timerMark, after.timerMark);
    int timers = 0;
    for (UINT_PTR id = low + 1; id < high && high - low < kTimerProbeLimit; ++id) {
        timers += ::KillTimer(nullptr, id) ? 1 : 0;
    }
    if (timers) {
        left.push_back(std::to_string(timers) + " thread timer(s) still set");
    }
    if (after.directory != before.directory) {
        left.push_back("the current directory moved from " + Narrow(before.directory) + " to " +
                       Narrow(after.directory));
    }
    return left;
}

void WarmUpProcess() {
    // The first window of a thread brings the input method's window; the first debug line the
    // debug channel's mutex; the first look at the mouse's settings and at the classes' root
    // keep those keys open.
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    nullptr, nullptr);
    ::DestroyWindow(window);
    ::OutputDebugStringW(L"");
    ::GetDoubleClickTime();
    UINT hoverTime = 0;
    ::SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &hoverTime, 0);
    // COM's first look into the registry for a class.
    CLSID unknown = {0x4E70A2F1, 0x0A35, 0x4C6B, {0x9D, 0x10, 0x5E, 0x2B, 0x7C, 0x61, 0x0F, 0x93}};
    CLSID treatAs = {};
    ::CoGetTreatAsClass(unknown, &treatAs);
    // The threads' runtime gives this thread its record, with an event, the first time it waits.
    pthread_self();
    sim::ReplaceImport("kernel32.dll", "CreateEventA",
                       reinterpret_cast<void*>(&RuntimeCreateEventA),
                       reinterpret_cast<void**>(&g_createEventA));
    sim::ReplaceImport("kernel32.dll", "CreateEventW",
                       reinterpret_cast<void*>(&ProgramCreateEventW),
                       reinterpret_cast<void**>(&g_createEventW));
}

}  // namespace sweep
