// halvo-sweep: the program's scripted use with every outside call in turn failing, and, where the
// call can, succeeding with an answer the program cannot use; on a machine met for the first time
// and on one that holds a person's own settings; each run judged by the model of the program's
// rules.
//
//   halvo-sweep                   every call k from 1 to N, both ways, on both starts; the figures
//                                 tell how many runs passed
//   halvo-sweep --short           a seeded sample of ten runs of each start, on both Windows
//                                 versions
//   halvo-sweep --runs 5,17u,s40  those runs only: call 5 and 40 failing (40 on a second start),
//                                 call 17 unusable; a leading v names a run on Windows 6.0
//   halvo-sweep --list            the calls of the fault-free runs by the rules, one a line: its
//                                 number, its name, what it serves and what its failure (and its
//                                 unusable answer) leads to; nothing is run
//   --windows 6.0|6.1             the Windows version of a whole sweep or a list (6.1 by default)
//   --jobs N                      N runs at a time (2 by default)
// The --short and --runs forms end with a failure status when any run failed. A run --runs names
// that this start cannot make (a call past its last, an unusable answer from a call that has
// none) is refused with status 2 before any run.
//   halvo-sweep --child RUN FILE  (internal) one run in a process of its own; see SweepChild.h
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/Figures.h"
#include "bench/sweep/ChildProcess.h"
#include "bench/sweep/RunChoices.h"
#include "bench/sweep/RuleList.h"
#include "bench/sweep/SweepChild.h"

namespace {

constexpr unsigned kDefaultJobs = 2;

using sim::call_sweep::Variant;
using sweep::AllRuns;
using sweep::Outcome;
using sweep::ParseList;
using sweep::RunChild;
using sweep::RunChoice;
using sweep::Sample;
using sweep::Setting;
using sweep::Start;
using sweep::Unmakeable;
using sweep::Verdict;
using sweep::Windows;

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The fault-free run of a setting, which lists its calls and writes them down for the others.
struct SettingCalls {
    std::vector<sim::call_sweep::Call> calls;
    std::wstring file;
};

bool Count(const Setting& setting, SettingCalls* out) {
    wchar_t directory[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, directory);
    std::string name = sweep::RunName({0, Variant::Failure, setting.start, setting.windows});
    out->file = std::wstring(directory) + L"halvo-sweep-" +
                std::to_wstring(::GetCurrentProcessId()) + L"-" + Wide(name) + L".txt";
    Outcome outcome = RunChild(L"--child " + Wide(name) + L" \"" + out->file + L"\"");
    for (const std::string& line : outcome.lines) {
        if (line.rfind("call ", 0) == 0) {
            size_t offers = line.find(' ', 5);
            size_t callName = line.find(' ', offers + 1);
            out->calls.push_back(
                {line.substr(callName + 1),
                 line.compare(offers + 1, callName - offers - 1, "fail+unusable") == 0});
        }
    }
    std::string silent;
    std::string verdict = Verdict(name, outcome, &silent);
    if (!verdict.empty() || out->calls.empty()) {
        std::printf("the fault-free run %s failed: %s\n", name.c_str(),
                    verdict.empty() ? "it made no call" : verdict.c_str());
        return false;
    }
    return true;
}

struct Sweep {
    std::map<Setting, SettingCalls> settings;
    std::mutex mutex;
    std::map<RunChoice, std::string> failures;
    std::set<RunChoice> passed;
    std::map<std::string, int> silentSteps;  // step, runs in which it wrote nothing

    Sweep() = default;
    Sweep(const Sweep&) = delete;
    Sweep& operator=(const Sweep&) = delete;
    // The fault-free runs' lists go with the sweep, however it ends.
    ~Sweep() {
        for (auto& [setting, calls] : settings) {
            ::DeleteFileW(calls.file.c_str());
        }
    }
};

// Every run in a process of its own, `jobs` at a time.
void RunAll(const std::vector<RunChoice>& runs, unsigned jobs, Sweep* sweep) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next++) < runs.size();) {
            const RunChoice& run = runs[i];
            std::string name = sweep::RunName(run);
            Outcome outcome = RunChild(L"--child " + Wide(name) + L" \"" +
                                       sweep->settings.at(sweep::SettingOf(run)).file + L"\"");
            std::string silent;
            std::string verdict = Verdict(name, outcome, &silent);
            std::lock_guard<std::mutex> lock(sweep->mutex);
            if (verdict.empty()) {
                sweep->passed.insert(run);
                for (size_t start = 0; !silent.empty() && start < silent.size();) {
                    size_t end = std::min(silent.find("; ", start), silent.size());
                    ++sweep->silentSteps[silent.substr(start, end - start)];
                    start = end + 2;
                }
                std::fputc('.', stdout);
            } else {
                sweep->failures[run] = verdict;
                std::printf("\nresult %s FAIL %s\n", name.c_str(), verdict.c_str());
            }
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> workers;
    for (unsigned j = 0; j < std::max(jobs, 1u); ++j) {
        workers.emplace_back(work);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

// The kind of a call: its name without the key it reads or writes, or the export it looks up.
// Each control code, and each interface index, is a kind of its own.
std::string KindOf(const std::string& call) {
    if (call.rfind("GetProcAddress(", 0) == 0) {
        return "GetProcAddress";
    }
    return call.substr(0, call.find(" {"));
}

// The per-user switch's registry calls, and the calls that end what the program opened.
bool IsRegistryCall(const std::string& name) {
    return name.rfind("Reg", 0) == 0;
}
bool IsTeardownCall(const std::string& name) {
    for (const char* kind : {"CloseHandle", "SetupDiDestroyDeviceInfoList", "FreeLibrary"}) {
        if (name.rfind(kind, 0) == 0) {
            return true;
        }
    }
    return false;
}

void ListCalls(const Setting& setting, const std::vector<sim::call_sweep::Call>& calls) {
    std::map<std::string, std::pair<int, bool>> kinds;  // count, and whether it can be unusable
    size_t offeringUnusable = 0;
    for (const sim::call_sweep::Call& call : calls) {
        auto& [count, unusable] = kinds[KindOf(call.name)];
        ++count;
        unusable = unusable || call.offersUnusable;
        offeringUnusable += call.offersUnusable ? 1 : 0;
    }
    std::printf(
        "On %s the scripted use makes %zu outside calls, %zu of which can also succeed "
        "unusably:\n",
        sweep::SettingName(setting).c_str(), calls.size(), offeringUnusable);
    for (const auto& [kind, entry] : kinds) {
        std::printf("  %4d  %-16s %s\n", entry.first, entry.second ? "fail, unusable" : "fail",
                    kind.c_str());
    }
}

// A count of runs against the runs made; a kind with no runs has no verdict at all.
void RunsFigure(const std::string& what, size_t passed, size_t made) {
    if (made == 0) {
        std::printf("figure: %s = no runs (not counted)\n", what.c_str());
        std::fflush(stdout);
        return;
    }
    bench::Figure(what.c_str(), static_cast<double>(passed), "runs", bench::Goal::Equal,
                  static_cast<double>(made));
}

int Usage() {
    std::fprintf(stderr,
                 "usage: halvo-sweep [--short | --runs K,Ku,sK,vK,... | --list] "
                 "[--windows 6.0|6.1] [--jobs N]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == L"--child") {
        return sweep::RunSweepChild(std::string(args[1].begin(), args[1].end()), args[2]);
    }
    bool shortRun = false, list = false;
    unsigned jobs = kDefaultJobs;
    std::vector<Windows> versions = {Windows::Seven};
    std::vector<RunChoice> chosen;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--short") {
            shortRun = true;
            versions = {Windows::Seven, Windows::Vista};
        } else if (args[i] == L"--list") {
            list = true;
        } else if (args[i] == L"--runs" && i + 1 < args.size() && ParseList(args[i + 1], &chosen)) {
            ++i;
        } else if (args[i] == L"--windows" && i + 1 < args.size() &&
                   (args[i + 1] == L"6.0" || args[i + 1] == L"6.1")) {
            versions = {args[++i] == L"6.0" ? Windows::Vista : Windows::Seven};
        } else if (args[i] == L"--jobs" && i + 1 < args.size()) {
            jobs = static_cast<unsigned>(std::max(1, _wtoi(args[++i].c_str())));
        } else {
            return Usage();
        }
    }
    std::vector<Setting> settings;
    for (Windows windows : versions) {
        for (Start start : {Start::First, Start::Second}) {
            settings.push_back({windows, start});
        }
    }
    if (list) {
        for (const Setting& setting : settings) {
            sweep::PrintRuleList(setting);
        }
        return 0;
    }
    if (!chosen.empty()) {
        settings.clear();
        for (const RunChoice& run : chosen) {
            if (std::find(settings.begin(), settings.end(), sweep::SettingOf(run)) ==
                settings.end()) {
                settings.push_back(sweep::SettingOf(run));
            }
        }
    }
    DWORD startTime = ::GetTickCount();
    Sweep sweep;
    for (const Setting& setting : settings) {
        if (!Count(setting, &sweep.settings[setting])) {
            return 1;
        }
        ListCalls(setting, sweep.settings[setting].calls);
        sweep::PrintStartUpJudgements(setting);
    }
    for (const RunChoice& run : chosen) {
        const auto& calls = sweep.settings[sweep::SettingOf(run)].calls;
        if (std::string why = Unmakeable(run, calls); !why.empty()) {
            std::fprintf(stderr, "halvo-sweep: %s\n", why.c_str());
            return 2;
        }
    }
    std::vector<RunChoice> runs = chosen;
    if (runs.empty()) {
        for (const Setting& setting : settings) {
            const auto& calls = sweep.settings[setting].calls;
            std::vector<RunChoice> some =
                shortRun ? Sample(calls, setting, 20261208) : AllRuns(calls, setting);
            runs.insert(runs.end(), some.begin(), some.end());
        }
    }
    std::printf("Running %zu runs, each in a process of its own, %u at a time.\n", runs.size(),
                jobs);
    std::fflush(stdout);
    RunAll(runs, jobs, &sweep);
    std::printf("\n");
    for (const auto& [run, what] : sweep.failures) {
        std::printf("FAILED run %s (%s): %s\n", sweep::RunName(run).c_str(),
                    sweep.settings[sweep::SettingOf(run)].calls[run.call - 1].name.c_str(),
                    what.c_str());
    }
    if (!sweep.silentSteps.empty()) {
        std::printf("Steps that wrote nothing after the fault, as the rules say (runs):\n");
        for (const auto& [step, count] : sweep.silentSteps) {
            std::printf("  %4d  %s\n", count, step.c_str());
        }
    }
    double seconds = (::GetTickCount() - startTime) / 1000.0;
    for (const Setting& setting : settings) {
        const std::vector<sim::call_sweep::Call>& calls = sweep.settings[setting].calls;
        std::string prefix = sweep::SettingFigurePrefix(setting);
        size_t registry = 0, teardown = 0, offeringUnusable = 0;
        for (const sim::call_sweep::Call& call : calls) {
            registry += IsRegistryCall(call.name) ? 1 : 0;
            teardown += IsTeardownCall(call.name) ? 1 : 0;
            offeringUnusable += call.offersUnusable ? 1 : 0;
        }
        // The rules' own count for the setting: every call the program makes, and no other.
        bench::Figure((prefix + "calls counted").c_str(), static_cast<double>(calls.size()),
                      "calls", bench::Goal::Equal,
                      static_cast<double>(sweep::RulesCallCount(setting)));
        bench::Figure((prefix + "calls counted that can succeed unusably").c_str(),
                      static_cast<double>(offeringUnusable), "calls");
        bench::Figure((prefix + "registry calls counted").c_str(), static_cast<double>(registry),
                      "calls");
        bench::Figure((prefix + "teardown calls counted").c_str(), static_cast<double>(teardown),
                      "calls");
        for (Variant variant : {Variant::Failure, Variant::Unusable}) {
            size_t made = 0, passed = 0;
            for (const RunChoice& run : runs) {
                if (run.variant == variant && sweep::SettingOf(run) == setting) {
                    ++made;
                    passed += sweep.passed.count(run);
                }
            }
            RunsFigure(prefix + (variant == Variant::Failure ? "failing runs passed"
                                                             : "unusable-answer runs passed"),
                       passed, made);
        }
    }
    int silent = 0;
    for (const auto& entry : sweep.silentSteps) {
        silent += entry.second;
    }
    bench::Figure("steps that wrote nothing after a fault, as the rules say",
                  static_cast<double>(silent), "steps");
    bench::Figure("sweep time", seconds, "s");
    // The whole sweep reports its figures; a chosen part is a test, which fails with any run.
    return sweep.passed.size() == runs.size() || (!shortRun && chosen.empty()) ? 0 : 1;
}
