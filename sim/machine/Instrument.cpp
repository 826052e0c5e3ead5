#include "sim/machine/Instrument.h"

#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "sim/machine/PhaseReport.h"

namespace bench {
namespace {

constexpr int kBassBoostSlider = 1005;

std::function<void(HWND, const FirstPaint&)> g_firstPaintDone;
std::function<void(HWND, int, int64_t)> g_sliderMoved;
HHOOK g_messageHook = nullptr;
HHOOK g_sendHook = nullptr;

// The windows whose paints are being timed, with the procedures they had.
std::map<HWND, WNDPROC> g_timedWindows;
HWND g_root = nullptr;
int64_t g_lastPaintEnd = 0;
UINT_PTR g_settleTimer = 0;

int64_t FromFileTime(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    // 100-ns ticks since 1601 to nanoseconds since 1970.
    return (static_cast<int64_t>(value.QuadPart) - 116444736000000000LL) * 100;
}

bool IsDialog(HWND window) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770";
}

LRESULT CALLBACK TimedPaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto found = g_timedWindows.find(window);
    WNDPROC original = found != g_timedWindows.end() ? found->second : ::DefWindowProcW;
    LRESULT result = ::CallWindowProcW(original, window, message, wParam, lParam);
    if (message == WM_PAINT) {
        g_lastPaintEnd = UnixNanoseconds();
    }
    return result;
}

void Untime() {
    for (const auto& [window, original] : g_timedWindows) {
        if (::IsWindow(window) && reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(
                                      window, GWLP_WNDPROC)) == TimedPaintProc) {
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        }
    }
    g_timedWindows.clear();
}

struct Range {
    uintptr_t begin, end;
};

// Every thread's stack, from its reservation's base to its top, read from the thread's own
// information block.
std::vector<Range> ThreadStacks(unsigned* threads) {
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    struct BasicInformation {
        LONG exitStatus;
        void* teb;
        void* clientId[2];
        ULONG_PTR affinity;
        LONG priority, basePriority;
    };
    auto query = reinterpret_cast<QueryThread>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    std::vector<Range> stacks;
    *threads = 0;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return stacks;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != ::GetCurrentProcessId()) {
            continue;
        }
        ++*threads;
        HANDLE thread = ::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        BasicInformation info = {};
        if (thread && query && query(thread, 0, &info, sizeof info, nullptr) == 0 && info.teb) {
            const NT_TIB* tib = static_cast<const NT_TIB*>(info.teb);
            MEMORY_BASIC_INFORMATION region;
            if (::VirtualQuery(tib->StackLimit, &region, sizeof region) == sizeof region) {
                stacks.push_back({reinterpret_cast<uintptr_t>(region.AllocationBase),
                                  reinterpret_cast<uintptr_t>(tib->StackBase)});
            }
        }
        if (thread) {
            ::CloseHandle(thread);
        }
    }
    ::CloseHandle(snapshot);
    return stacks;
}

// Every heap's regions, as the heap walks them.
std::vector<Range> HeapRegions() {
    std::vector<Range> regions;
    HANDLE heaps[64];
    DWORD count = std::min<DWORD>(::GetProcessHeaps(64, heaps), 64);
    for (DWORD i = 0; i < count; ++i) {
        PROCESS_HEAP_ENTRY entry = {};
        if (!::HeapLock(heaps[i])) {
            continue;
        }
        while (::HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_REGION) {
                auto begin = reinterpret_cast<uintptr_t>(entry.lpData);
                regions.push_back({begin, reinterpret_cast<uintptr_t>(entry.Region.lpLastBlock)});
            } else if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.cbData >= 512 * 1024) {
                // A block this large has memory of its own, outside the heap's regions.
                auto begin = reinterpret_cast<uintptr_t>(entry.lpData);
                regions.push_back({begin, begin + entry.cbData});
            }
        }
        ::HeapUnlock(heaps[i]);
    }
    return regions;
}

bool Within(uintptr_t address, const std::vector<Range>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(), [&](const Range& range) {
        return address >= range.begin && address < range.end;
    });
}

}  // namespace

MemoryByKind TakeMemoryByKind() {
    MemoryByKind memory = {};
    std::vector<Range> stacks = ThreadStacks(&memory.threads);
    std::vector<Range> heaps = HeapRegions();
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State != MEM_COMMIT) {
            continue;
        }
        auto base = reinterpret_cast<uintptr_t>(region.BaseAddress);
        if (region.Type == MEM_IMAGE) {
            memory.images += region.RegionSize;
        } else if (region.Type == MEM_PRIVATE) {
            (Within(base, stacks) ? memory.stacks
             : Within(base, heaps) ? memory.heaps
                                   : memory.rest) += region.RegionSize;
        }
    }
    return memory;
}

namespace {

// A thread timer's message comes only when no paint is waiting: the first round is over.
void CALLBACK OnSettled(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    Untime();
    FirstPaint paint = {};
    paint.paintedAt = g_lastPaintEnd;
    FILETIME created, exited, kernel, user;
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        paint.createdAt = FromFileTime(created);
    }
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(),
                               reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                               sizeof memory)) {
        paint.privateBytes = memory.PrivateUsage;
        paint.workingSetBytes = memory.WorkingSetSize;
    }
    paint.memory = TakeMemoryByKind();
    if (paint.privateBytes == 0) {
        paint.privateBytes = paint.memory.stacks + paint.memory.heaps + paint.memory.rest;
    }
    auto done = std::move(g_firstPaintDone);
    g_firstPaintDone = nullptr;
    if (done) {
        done(g_root, paint);
    }
}

LRESULT CALLBACK OnMessage(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_PAINT && msg->hwnd &&
        g_firstPaintDone && !g_settleTimer) {
        HWND root = ::GetAncestor(msg->hwnd, GA_ROOT);
        if (!g_root && root && IsDialog(root)) {
            g_root = root;
        }
        if (root == g_root && !g_timedWindows.count(msg->hwnd)) {
            auto original = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
                msg->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimedPaintProc)));
            g_timedWindows[msg->hwnd] = original;
            if (g_timedWindows.size() == 1) {
                g_settleTimer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, OnSettled);
            }
        }
    }
    return ::CallNextHookEx(g_messageHook, code, wParam, lParam);
}

LRESULT CALLBACK OnSentReturn(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == TBM_SETPOS && g_sliderMoved &&
        ::GetDlgCtrlID(sent->hwnd) == kBassBoostSlider) {
        int position = static_cast<int>(::SendMessageW(sent->hwnd, TBM_GETPOS, 0, 0));
        g_sliderMoved(sent->hwnd, position, UnixNanoseconds());
    }
    return ::CallNextHookEx(g_sendHook, code, wParam, lParam);
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? value : L"";
}

}  // namespace

int64_t UnixNanoseconds() {
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    return FromFileTime(now);
}

void WatchFirstPaint(std::function<void(HWND root, const FirstPaint&)> done) {
    g_firstPaintDone = std::move(done);
    g_root = nullptr;
    g_settleTimer = 0;
    g_lastPaintEnd = 0;
    if (!g_messageHook) {
        g_messageHook =
            ::SetWindowsHookExW(WH_GETMESSAGE, OnMessage, nullptr, ::GetCurrentThreadId());
    }
}

void WatchSlider(std::function<void(HWND slider, int position, int64_t at)> moved) {
    g_sliderMoved = std::move(moved);
    if (!g_sendHook) {
        g_sendHook =
            ::SetWindowsHookExW(WH_CALLWNDPROCRET, OnSentReturn, nullptr, ::GetCurrentThreadId());
    }
}

void InstrumentFromEnvironment() {
    std::wstring report = Environment(L"HALVO_FIRST_PAINT_REPORT");
    bool phases = !Environment(L"HALVO_PHASE_REPORT").empty();
    if (!report.empty() || phases) {
        WatchFirstPaint([report, phases](HWND root, const FirstPaint& paint) {
            if (phases) {
                FinishPhaseReport(paint.paintedAt);
            }
            FILE* file = report.empty() ? nullptr : _wfopen(report.c_str(), L"w");
            if (file) {
                const MemoryByKind& memory = paint.memory;
                std::fprintf(file, "%lld %lld %llu %llu %llu %llu %llu %llu %u\n",
                             static_cast<long long>(paint.paintedAt),
                             static_cast<long long>(paint.createdAt),
                             static_cast<unsigned long long>(paint.privateBytes),
                             static_cast<unsigned long long>(paint.workingSetBytes),
                             static_cast<unsigned long long>(memory.stacks),
                             static_cast<unsigned long long>(memory.heaps),
                             static_cast<unsigned long long>(memory.rest),
                             static_cast<unsigned long long>(memory.images), memory.threads);
                std::fclose(file);
            }
            ::PostMessageW(root, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
    }
    std::wstring log = Environment(L"HALVO_SLIDER_LOG");
    if (!log.empty()) {
        static FILE* file = _wfopen(log.c_str(), L"a");
        if (file) {
            WatchSlider([](HWND, int position, int64_t at) {
                std::fprintf(file, "%lld %d\n", static_cast<long long>(at), position);
                std::fflush(file);
            });
        }
    }
}

}  // namespace bench
