#include "bench/sweep/SweepChild.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/sweep/SweepRun.h"

namespace sweep {
namespace {

// A run still going after this long has hung.
constexpr DWORD kWatchdogMilliseconds = 20000;

std::atomic<size_t> g_currentRun{0};
std::atomic<DWORD> g_runStart{0};

void Line(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The run in progress ends the process: its result is said first.
[[noreturn]] void EndWith(const std::string& what, UINT code) {
    Line("result " + std::to_string(g_currentRun.load()) + " FAIL " + what);
    ::TerminateProcess(::GetCurrentProcess(), code);
    for (;;) {
    }
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* pointers) {
    char text[96];
    std::snprintf(text, sizeof text, "crash: exception 0x%08lX at %p",
                  static_cast<unsigned long>(pointers->ExceptionRecord->ExceptionCode),
                  pointers->ExceptionRecord->ExceptionAddress);
    EndWith(text, 4);
}

void OnAbort(int) {
    EndWith("crash: the program aborted", 4);
}

void Watch() {
    for (;;) {
        ::Sleep(500);
        DWORD start = g_runStart.load();
        if (start && ::GetTickCount() - start > kWatchdogMilliseconds) {
            EndWith(
                "hang: still running after " + std::to_string(kWatchdogMilliseconds / 1000) + " s",
                3);
        }
    }
}

std::string Joined(const std::vector<std::string>& pieces) {
    std::string text;
    for (const std::string& piece : pieces) {
        text += (text.empty() ? "" : "; ") + piece;
    }
    return text;
}

}  // namespace

int RunSweepChild(const std::vector<size_t>& runs, bool listCalls) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(&OnCrash);
    std::signal(SIGABRT, &OnAbort);
    std::thread(&Watch).detach();

    std::string problem;
    if (!PrepareRuns(&problem)) {
        Line("error " + problem);
        return 2;
    }
    g_runStart = ::GetTickCount();
    RunReport reference = RunOnce(0, nullptr);
    g_runStart = 0;
    Line("calls " + std::to_string(reference.calls.size()));
    if (listCalls) {
        for (size_t i = 0; i < reference.calls.size(); ++i) {
            Line("call " + std::to_string(i + 1) + " " + reference.calls[i]);
        }
    }
    if (!reference.problems.empty()) {
        Line("error the fault-free run: " + Joined(reference.problems));
        return 2;
    }
    for (size_t k : runs) {
        std::string name = k <= reference.calls.size() ? reference.calls[k - 1] : "(none)";
        g_currentRun = k;
        Line("run " + std::to_string(k) + " " + name);
        g_runStart = ::GetTickCount();
        RunReport report = RunOnce(k, &reference.written);
        g_runStart = 0;
        if (report.failedCall != name) {
            // The run took another path than the fault-free one before call k: what failed is
            // said, so the figure stays honest.
            report.problems.push_back(
                "call " + std::to_string(k) + " was " +
                (report.failedCall.empty() ? std::string("never made") : report.failedCall) +
                " in this run");
        }
        Line("result " + std::to_string(k) +
             (report.problems.empty() ? " pass" : " FAIL " + Joined(report.problems)));
    }
    return 0;
}

}  // namespace sweep
