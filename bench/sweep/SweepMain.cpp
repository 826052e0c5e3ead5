// halvo-sweep: the program's scripted use with every outside call in turn failing, and, where the
// call can, succeeding with an answer the program cannot use.
//
//   halvo-sweep                  every call k from 1 to N, both ways; the figures tell how many
//                                runs passed
//   halvo-sweep --short          a seeded sample: the first call of every kind both ways, and more
//   halvo-sweep --runs 5,17u,40  those runs only: call 5 and 40 failing, call 17 unusable
// The last two end with a failure status when any run failed.
//   halvo-sweep --child LIST     (internal) one process of runs; see SweepChild.h
//
// The runs go in batches into processes of their own, so that a crash or a hang ends one run and
// not the sweep.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/Figures.h"
#include "bench/sweep/SweepChild.h"

namespace {

// Runs per process; a process first makes its own fault-free run.
constexpr size_t kBatch = 40;
// The sample of a short sweep, the first call of every kind included both ways.
constexpr size_t kShortSample = 120;
// A process that says nothing for this long is ended (its watchdog has failed too).
constexpr DWORD kSilenceMilliseconds = 60000;

using sim::call_sweep::Variant;
using sweep::RunChoice;

// Runs by name, "5,17u,40"; names that name no run are left out.
std::vector<RunChoice> ParseList(const std::wstring& text) {
    std::vector<RunChoice> list;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L',', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring piece = text.substr(start, end - start);
        RunChoice run;
        if (sweep::ParseRunName(std::string(piece.begin(), piece.end()), &run)) {
            list.push_back(run);
        }
        start = end + 1;
    }
    return list;
}

std::wstring FormatList(const std::vector<RunChoice>& list) {
    std::wstring text;
    for (const RunChoice& run : list) {
        std::string name = sweep::RunName(run);
        text += (text.empty() ? L"" : L",") + std::wstring(name.begin(), name.end());
    }
    return text;
}

// "run R rest" or "result R rest": the run named and what follows it.
bool ParseRunLine(const std::string& line, const char* head, RunChoice* run, std::string* rest) {
    size_t headLength = std::strlen(head);
    if (line.compare(0, headLength, head) != 0) {
        return false;
    }
    size_t end = line.find(' ', headLength);
    if (end == std::string::npos) {
        end = line.size();
    }
    *rest = end < line.size() ? line.substr(end + 1) : "";
    return sweep::ParseRunName(line.substr(headLength, end - headLength), run);
}

// One child process of the sweep, read line by line.
class Child {
public:
    // What a child said and how it ended.
    struct Outcome {
        std::vector<std::string> lines;
        bool silent = false;  // ended by us
        DWORD exitCode = 0;
    };

    static Outcome Run(const std::wstring& arguments) {
        Outcome outcome;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE read = nullptr, write = nullptr;
        if (!::CreatePipe(&read, &write, &inherit, 0)) {
            outcome.lines.push_back("error no pipe");
            return outcome;
        }
        ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(self) + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write;
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        PROCESS_INFORMATION process = {};
        BOOL started = ::CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
        ::CloseHandle(write);
        if (!started) {
            ::CloseHandle(read);
            outcome.lines.push_back("error the sweep could not start a process of its own");
            return outcome;
        }
        std::string pending;
        DWORD lastHeard = ::GetTickCount();
        for (;;) {
            DWORD available = 0;
            if (!::PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr)) {
                break;  // the child is gone and everything it said was read
            }
            if (!available) {
                if (::GetTickCount() - lastHeard > kSilenceMilliseconds) {
                    ::TerminateProcess(process.hProcess, 5);
                    outcome.silent = true;
                    break;
                }
                ::Sleep(20);
                continue;
            }
            char buffer[4096];
            DWORD got = 0;
            if (!::ReadFile(read, buffer, std::min<DWORD>(available, sizeof buffer), &got,
                            nullptr) ||
                !got) {
                break;
            }
            lastHeard = ::GetTickCount();
            pending.append(buffer, got);
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, end);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                outcome.lines.push_back(line);
                OnLine(line);
                pending.erase(0, end + 1);
            }
        }
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &outcome.exitCode);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
        ::CloseHandle(read);
        return outcome;
    }

private:
    // Progress as it comes: failures in full, passes as dots.
    static void OnLine(const std::string& line) {
        if (line.rfind("result ", 0) == 0 && line.find(" pass") != std::string::npos) {
            std::fputc('.', stdout);
        } else if (line.rfind("result ", 0) == 0 || line.rfind("error", 0) == 0) {
            std::printf("\n%s\n", line.c_str());
        } else {
            return;
        }
        std::fflush(stdout);
    }
};

struct Sweep {
    std::vector<sim::call_sweep::Call> calls;  // the fault-free run's, in order
    std::map<RunChoice, std::string> failures;
    std::set<RunChoice> passed;
};

// The counting run: every outside call of the scripted use.
bool Count(Sweep* sweep) {
    Child::Outcome outcome = Child::Run(L"--child --list");
    for (const std::string& line : outcome.lines) {
        if (line.rfind("call ", 0) == 0) {
            size_t offers = line.find(' ', 5);
            size_t name = line.find(' ', offers + 1);
            sweep->calls.push_back(
                {line.substr(name + 1),
                 line.compare(offers + 1, name - offers - 1, "fail+unusable") == 0});
        } else if (line.rfind("error", 0) == 0) {
            std::printf("%s\n", line.c_str());
            return false;
        }
    }
    if (outcome.exitCode != 0 || sweep->calls.empty()) {
        std::printf("the counting run ended with exit code %lu\n",
                    static_cast<unsigned long>(outcome.exitCode));
        return false;
    }
    return true;
}

// Runs every run of the list, a batch per process; a process that ends early takes the run it was
// in with it, and the rest go to a new one.
void RunAll(const std::vector<RunChoice>& runs, Sweep* sweep) {
    std::vector<RunChoice> left = runs;
    while (!left.empty()) {
        std::vector<RunChoice> batch(
            left.begin(), left.begin() + static_cast<long>(std::min(kBatch, left.size())));
        Child::Outcome outcome = Child::Run(L"--child " + FormatList(batch));
        std::optional<RunChoice> started;
        std::set<RunChoice> done;
        for (const std::string& line : outcome.lines) {
            RunChoice run;
            std::string rest;
            if (ParseRunLine(line, "run ", &run, &rest)) {
                started = run;
            } else if (ParseRunLine(line, "result ", &run, &rest)) {
                done.insert(run);
                if (rest == "pass") {
                    sweep->passed.insert(run);
                } else {
                    sweep->failures[run] = rest.rfind("FAIL ", 0) == 0 ? rest.substr(5) : rest;
                }
            } else if (line.rfind("error", 0) == 0) {
                for (const RunChoice& other : batch) {
                    sweep->failures[other] = line;
                }
                return;
            }
        }
        if (started && !done.count(*started)) {
            sweep->failures[*started] = outcome.silent ? "hang: the process fell silent"
                                                       : "the run ended the process (exit code " +
                                                             std::to_string(outcome.exitCode) + ")";
            std::printf("\nresult %s FAIL %s\n", sweep::RunName(*started).c_str(),
                        sweep->failures[*started].c_str());
            done.insert(*started);
        }
        if (done.empty()) {
            for (const RunChoice& run : batch) {
                sweep->failures[run] = "the process ended before its first run";
            }
            return;
        }
        std::vector<RunChoice> rest;
        for (const RunChoice& run : left) {
            if (!done.count(run)) {
                rest.push_back(run);
            }
        }
        left = rest;
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

// Every run of the whole sweep: each call failing, and succeeding unusably where it can.
std::vector<RunChoice> AllRuns(const std::vector<sim::call_sweep::Call>& calls) {
    std::vector<RunChoice> runs;
    for (size_t k = 1; k <= calls.size(); ++k) {
        runs.push_back({k, Variant::Failure});
        if (calls[k - 1].offersUnusable) {
            runs.push_back({k, Variant::Unusable});
        }
    }
    return runs;
}

// The first call of every kind both ways, then runs drawn with a fixed seed up to the sample's
// size.
std::vector<RunChoice> Sample(const std::vector<sim::call_sweep::Call>& calls, unsigned seed) {
    std::vector<RunChoice> all = AllRuns(calls);
    std::set<RunChoice> chosen;
    std::set<std::string> kinds;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (kinds.insert(KindOf(calls[i].name)).second) {
            chosen.insert({i + 1, Variant::Failure});
            if (calls[i].offersUnusable) {
                chosen.insert({i + 1, Variant::Unusable});
            }
        }
    }
    std::mt19937 random(seed);
    while (chosen.size() < std::min(kShortSample, all.size())) {
        chosen.insert(all[std::uniform_int_distribution<size_t>(0, all.size() - 1)(random)]);
    }
    return std::vector<RunChoice>(chosen.begin(), chosen.end());
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

size_t CountOf(const std::vector<RunChoice>& runs, Variant variant) {
    return static_cast<size_t>(std::count_if(
        runs.begin(), runs.end(), [&](const RunChoice& run) { return run.variant == variant; }));
}

size_t CountOf(const std::set<RunChoice>& runs, Variant variant) {
    return CountOf(std::vector<RunChoice>(runs.begin(), runs.end()), variant);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == L"--child") {
        bool list = args.size() > 1 && args[1] == L"--list";
        return sweep::RunSweepChild(
            args.size() > 1 && !list ? ParseList(args[1]) : std::vector<RunChoice>{}, list);
    }
    bool shortRun = false;
    std::vector<RunChoice> chosen;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--short") {
            shortRun = true;
        } else if (args[i] == L"--runs" && i + 1 < args.size()) {
            chosen = ParseList(args[++i]);
        } else {
            std::fprintf(stderr, "usage: halvo-sweep [--short | --runs K,Ku,...]\n");
            return 2;
        }
    }
    DWORD start = ::GetTickCount();
    Sweep sweep;
    if (!Count(&sweep)) {
        return 1;
    }
    const size_t total = sweep.calls.size();
    std::map<std::string, std::pair<int, bool>> kinds;  // count, and whether it can be unusable
    size_t offeringUnusable = 0, registry = 0, teardown = 0;
    for (const sim::call_sweep::Call& call : sweep.calls) {
        registry += IsRegistryCall(call.name) ? 1 : 0;
        teardown += IsTeardownCall(call.name) ? 1 : 0;
        auto& [count, unusable] = kinds[KindOf(call.name)];
        ++count;
        unusable = unusable || call.offersUnusable;
        offeringUnusable += call.offersUnusable ? 1 : 0;
    }
    std::printf(
        "The scripted use makes %zu outside calls, %zu of which can also succeed "
        "unusably:\n",
        total, offeringUnusable);
    for (const auto& [kind, entry] : kinds) {
        std::printf("  %4d  %-16s %s\n", entry.first, entry.second ? "fail, unusable" : "fail",
                    kind.c_str());
    }
    std::vector<RunChoice> runs = chosen;
    if (runs.empty() && shortRun) {
        runs = Sample(sweep.calls, 20261208);
    } else if (runs.empty()) {
        runs = AllRuns(sweep.calls);
    }
    std::erase_if(runs, [&](const RunChoice& run) { return run.call > total; });
    const size_t failing = CountOf(runs, Variant::Failure);
    const size_t unusable = CountOf(runs, Variant::Unusable);
    std::printf(
        "Running %zu of them failing and %zu succeeding unusably, each in a run of its "
        "own.\n",
        failing, unusable);
    std::fflush(stdout);
    RunAll(runs, &sweep);
    std::printf("\n");
    for (const auto& [run, what] : sweep.failures) {
        std::printf("FAILED run %s (%s): %s\n", sweep::RunName(run).c_str(),
                    sweep.calls[run.call - 1].name.c_str(), what.c_str());
    }
    double seconds = (::GetTickCount() - start) / 1000.0;
    bench::Figure("calls counted", static_cast<double>(total), "calls");
    bench::Figure("calls counted that can succeed unusably", static_cast<double>(offeringUnusable),
                  "calls");
    bench::Figure("registry calls counted", static_cast<double>(registry), "calls");
    bench::Figure("teardown calls counted", static_cast<double>(teardown), "calls");
    bench::Figure("failing runs passed",
                  static_cast<double>(CountOf(sweep.passed, Variant::Failure)), "runs",
                  bench::Goal::Equal, static_cast<double>(failing));
    bench::Figure("unusable-answer runs passed",
                  static_cast<double>(CountOf(sweep.passed, Variant::Unusable)), "runs",
                  bench::Goal::Equal, static_cast<double>(unusable));
    bench::Figure("sweep time", seconds, "s");
    // The whole sweep reports its figures; a chosen part is a test, which fails with any run.
    return sweep.passed.size() == runs.size() || (!shortRun && chosen.empty()) ? 0 : 1;
}
