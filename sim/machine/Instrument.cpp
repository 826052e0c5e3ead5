#include "sim/machine/Instrument.h"

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <map>
#include <string>

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

// Committed private memory, counted region by region: Wine leaves PrivateUsage at 0.
uint64_t CommittedPrivateBytes() {
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            total += region.RegionSize;
        }
    }
    return total;
}

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
    if (paint.privateBytes == 0) {
        paint.privateBytes = CommittedPrivateBytes();
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
    if (!report.empty()) {
        WatchFirstPaint([report](HWND root, const FirstPaint& paint) {
            if (FILE* file = _wfopen(report.c_str(), L"w")) {
                std::fprintf(file, "%lld %lld %llu %llu\n", static_cast<long long>(paint.paintedAt),
                             static_cast<long long>(paint.createdAt),
                             static_cast<unsigned long long>(paint.privateBytes),
                             static_cast<unsigned long long>(paint.workingSetBytes));
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
