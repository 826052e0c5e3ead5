#include "bench/sweep/SweepChild.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

namespace sweep {
namespace {

// A run still going after this long has hung.
constexpr DWORD kWatchdogMilliseconds = 20000;

// The run in progress, for the watchdog and the crash handler, which take no lock.
std::atomic<size_t> g_currentCall{0};
std::atomic<bool> g_currentUnusable{false};
std::atomic<DWORD> g_runStart{0};

void Line(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The run in progress ends the process: its result is said first.
[[noreturn]] void EndWith(const std::string& what, UINT code) {
    RunChoice run{g_currentCall.load(), g_currentUnusable.load()
                                            ? sim::call_sweep::Variant::Unusable
                                            : sim::call_sweep::Variant::Failure};
    Line("result " + RunName(run) + " FAIL " + what);
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

int RunSweepChild(const std::vector<RunChoice>& runs, bool listCalls) {
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
    RunReport reference = RunOnce(RunChoice{}, nullptr);
    g_runStart = 0;
    Line("calls " + std::to_string(reference.calls.size()));
    if (listCalls) {
        for (size_t i = 0; i < reference.calls.size(); ++i) {
            const sim::call_sweep::Call& call = reference.calls[i];
            Line("call " + std::to_string(i + 1) +
                 (call.offersUnusable ? " fail+unusable " : " fail ") + call.name);
        }
    }
    if (!reference.problems.empty()) {
        Line("error the fault-free run: " + Joined(reference.problems));
        return 2;
    }
    for (const RunChoice& run : runs) {
        const size_t k = run.call;
        std::string name = k <= reference.calls.size() ? reference.calls[k - 1].name : "(none)";
        g_currentUnusable = run.variant == sim::call_sweep::Variant::Unusable;
        g_currentCall = k;
        Line("run " + RunName(run) + " " + name);
        g_runStart = ::GetTickCount();
        RunReport report = RunOnce(run, &reference.written);
        g_runStart = 0;
        if (report.answeredCall != name) {
            // The run took another path than the fault-free one before call k: what was answered
            // otherwise is said, so the figure stays honest.
            report.problems.push_back(
                "call " + std::to_string(k) + " was " +
                (report.answeredCall.empty() ? std::string("never made") : report.answeredCall) +
                " in this run");
        }
        Line("result " + RunName(run) +
             (report.problems.empty() ? " pass" : " FAIL " + Joined(report.problems)));
    }
    return 0;
}

}  // namespace sweep
