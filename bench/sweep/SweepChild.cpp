#include "bench/sweep/SweepChild.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include "bench/sweep/CrashGuard.h"

namespace sweep {
namespace {

// A run still going after this long has hung.
constexpr DWORD kWatchdogMilliseconds = 20000;

std::atomic<DWORD> g_runStart{0};
char g_hangHead[64] = "result ? FAIL";

void Line(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void Watch() {
    for (;;) {
        ::Sleep(500);
        DWORD start = g_runStart.load();
        if (start && ::GetTickCount() - start > kWatchdogMilliseconds) {
            Line(std::string(g_hangHead) + " hang: still running after " +
                 std::to_string(kWatchdogMilliseconds / 1000) + " s in " + CrashPlace());
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }
    }
}

std::string Joined(const std::vector<std::string>& pieces, const char* separator) {
    std::string text;
    for (const std::string& piece : pieces) {
        text += (text.empty() ? "" : separator) + piece;
    }
    return text;
}

bool WriteFaultFreeCalls(const std::wstring& path, const RunReport& report) {
    std::ofstream file(std::string(path.begin(), path.end()), std::ios::trunc);
    for (size_t start : report.partCalls) {
        file << "part " << start << "\n";
    }
    for (const sim::call_sweep::Call& call : report.calls) {
        file << "call " << (call.offersUnusable ? "fail+unusable " : "fail ") << call.name << "\n";
    }
    return static_cast<bool>(file);
}

}  // namespace

bool ReadFaultFreeCalls(const std::wstring& path, FaultFreeCalls* calls) {
    std::ifstream file(std::string(path.begin(), path.end()));
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("part ", 0) == 0) {
            calls->partCalls.push_back(std::stoul(line.substr(5)));
        } else if (line.rfind("call fail+unusable ", 0) == 0) {
            calls->calls.push_back({line.substr(19), true});
        } else if (line.rfind("call fail ", 0) == 0) {
            calls->calls.push_back({line.substr(10), false});
        }
    }
    return !calls->calls.empty() && !calls->partCalls.empty();
}

int RunSweepChild(const std::string& name, const std::wstring& reference) {
    RunChoice run;
    if (!ParseRunName(name, &run, true)) {
        Line("error no run is named " + name);
        return 2;
    }
    std::string head = "result " + name + " FAIL";
    std::snprintf(g_hangHead, sizeof g_hangHead, "%s", head.c_str());
    SetCrashLine(head);
    SetCrashPlace("the run's preparation");
    InstallCrashGuard();
    std::thread(&Watch).detach();

    std::string problem;
    if (!PrepareRuns(&problem)) {
        Line("error " + problem);
        return 2;
    }
    FaultFreeCalls faultFree;
    std::string callName = "(the fault-free run)";
    if (run.call) {
        if (!ReadFaultFreeCalls(reference, &faultFree)) {
            Line("error the fault-free run's calls could not be read");
            return 2;
        }
        callName =
            run.call <= faultFree.calls.size() ? faultFree.calls[run.call - 1].name : "(none)";
    }
    Line("run " + name + " " + callName);
    g_runStart = ::GetTickCount();
    RunReport report = RunOnce(run);
    g_runStart = 0;
    if (!run.call) {
        Line("calls " + std::to_string(report.calls.size()));
        for (size_t i = 0; i < report.calls.size(); ++i) {
            const sim::call_sweep::Call& call = report.calls[i];
            Line("call " + std::to_string(i + 1) +
                 (call.offersUnusable ? " fail+unusable " : " fail ") + call.name);
        }
        if (!WriteFaultFreeCalls(reference, report)) {
            report.problems.push_back("its calls could not be written down");
        }
    } else if (report.answeredCall != callName) {
        // The run took another path than the fault-free one before its call: what was answered
        // otherwise is said, so the figure stays honest.
        report.problems.push_back(
            "call " + std::to_string(run.call) + " was " +
            (report.answeredCall.empty() ? std::string("never made") : report.answeredCall) +
            " in this run");
    }
    std::string result = "result " + name;
    if (!report.problems.empty()) {
        result += " FAIL " + Joined(report.problems, "; ");
    } else if (!report.silentSteps.empty()) {
        result += " pass; wrote nothing in: " + Joined(report.silentSteps, "; ");
    } else {
        result += " pass";
    }
    Line(result);
    // From here the process ends: a crash on the way still fails the run.
    SetCrashPlace("the process's end, after its run");
    return 0;
}

}  // namespace sweep
