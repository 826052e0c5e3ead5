// halvo-sweep: the program's scripted use with every outside call in turn failing, and, where the
// call can, succeeding with an answer the program cannot use; on a machine met for the first time
// and on one that holds a person's own settings.
//
//   halvo-sweep                   every call k from 1 to N, both ways, on both starts; the figures
//                                 tell how many runs passed
//   halvo-sweep --short           a seeded sample of ten runs of each start
//   halvo-sweep --runs 5,17u,s40  those runs only: call 5 and 40 failing (40 on a second start),
//                                 call 17 unusable
//   --jobs N                      N runs at a time (2 by default)
// The last two forms end with a failure status when any run failed. A run --runs names that this
// start cannot make (a call past its last, an unusable answer from a call that has none) is
// refused with status 2 before any run.
//   halvo-sweep --child RUN FILE  (internal) one run in a process of its own; see SweepChild.h
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/Figures.h"
#include "bench/sweep/SweepChild.h"

namespace {

// The sample of a short sweep, per start: each run is a process of its own, and the short sweep
// runs with the tests.
constexpr size_t kShortSample = 10;
// A process that says nothing for this long is ended (its watchdog has failed too).
constexpr DWORD kSilenceMilliseconds = 60000;
constexpr unsigned kDefaultJobs = 2;
constexpr int kStartAttempts = 3;

using sim::call_sweep::Variant;
using sweep::RunChoice;
using sweep::Start;

// The runs a list names, or false when a piece names none: a mistyped name is never dropped
// quietly from a list that is meant to pass.
bool ParseList(const std::wstring& text, std::vector<RunChoice>* list) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find(L',', start), text.size());
        std::wstring piece = text.substr(start, end - start);
        RunChoice run;
        if (!sweep::ParseRunName(std::string(piece.begin(), piece.end()), &run)) {
            std::fprintf(stderr, "halvo-sweep: no run is named \"%ls\"\n", piece.c_str());
            return false;
        }
        list->push_back(run);
        start = end + 1;
    }
    return !list->empty();
}

// Why a chosen run cannot be made, or "": its call is past the last one of its start, or it asks
// for an unusable answer from a call that has none.
std::string Unmakeable(const RunChoice& run, const std::vector<sim::call_sweep::Call>& calls) {
    std::string name = sweep::RunName(run);
    if (run.call > calls.size()) {
        return "run " + name + ": this start makes only " + std::to_string(calls.size()) + " calls";
    }
    if (run.variant == Variant::Unusable && !calls[run.call - 1].offersUnusable) {
        return "run " + name + ": call " + std::to_string(run.call) + " (" +
               calls[run.call - 1].name + ") has no unusable answer";
    }
    return "";
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// One child process of the sweep, read line by line.
struct Outcome {
    std::vector<std::string> lines;
    bool silent = false;  // ended by us
    DWORD exitCode = 0;
};

// An inheritable handle made for one child passes to every child started while it is open. A
// child of another worker would then hold this child's pipe open after this child ended, so the
// pipe is made and handed over under one lock.
std::mutex g_handingOver;

Outcome RunChild(const std::wstring& arguments) {
    Outcome outcome;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    std::unique_lock<std::mutex> handingOver(g_handingOver);
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
    // Under load Wine now and then fails to start a process. That says nothing of the program, so
    // the start is tried again, said on the way, and a start that keeps failing is the run's error.
    PROCESS_INFORMATION process = {};
    BOOL started = FALSE;
    DWORD error = 0;
    for (int attempt = 1; attempt <= kStartAttempts && !started; ++attempt) {
        started = ::CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   nullptr, &startup, &process);
        if (!started) {
            error = ::GetLastError();
            std::fprintf(stderr, "halvo-sweep: starting %ls failed (error %lu), try %d of %d\n",
                         arguments.c_str(), error, attempt, kStartAttempts);
            ::Sleep(1000);
        }
    }
    ::CloseHandle(write);
    handingOver.unlock();
    if (!started) {
        ::CloseHandle(read);
        outcome.lines.push_back("error the sweep could not start a process of its own (error " +
                                std::to_string(error) + ")");
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
            ::Sleep(10);
            continue;
        }
        char buffer[4096];
        DWORD got = 0;
        if (!::ReadFile(read, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) ||
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

// What became of a run: "" when it passed, else what broke. A run passes only when its last word
// is a pass and its process then ended cleanly.
std::string Verdict(const std::string& name, const Outcome& outcome, std::string* silentSteps) {
    std::string head = "result " + name + " ";
    std::string last;
    for (const std::string& line : outcome.lines) {
        if (line.rfind(head, 0) == 0) {
            last = line.substr(head.size());
        } else if (line.rfind("error", 0) == 0) {
            return line;
        }
    }
    if (last.empty()) {
        return outcome.silent ? "hang: the process fell silent"
                              : "the process ended with exit code " +
                                    std::to_string(outcome.exitCode) + " before its result";
    }
    if (last.rfind("FAIL ", 0) == 0) {
        return last.substr(5);
    }
    if (outcome.exitCode != 0) {
        return "the run passed, but its process then ended with exit code " +
               std::to_string(outcome.exitCode);
    }
    const std::string silent = "pass; wrote nothing in: ";
    if (last.rfind(silent, 0) == 0) {
        *silentSteps = last.substr(silent.size());
    }
    return "";
}

// The fault-free run of a start, which lists its calls and writes them down for the others.
struct StartCalls {
    std::vector<sim::call_sweep::Call> calls;
    std::wstring file;
};

bool Count(Start start, StartCalls* out) {
    wchar_t directory[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, directory);
    std::string name = sweep::RunName({0, Variant::Failure, start});
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
    std::map<Start, StartCalls> starts;
    std::mutex mutex;
    std::map<RunChoice, std::string> failures;
    std::set<RunChoice> passed;
    std::map<std::string, int> silentSteps;  // step, runs in which it wrote nothing

    Sweep() = default;
    Sweep(const Sweep&) = delete;
    Sweep& operator=(const Sweep&) = delete;
    // The fault-free runs' lists go with the sweep, however it ends.
    ~Sweep() {
        for (auto& [start, calls] : starts) {
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
                                       sweep->starts.at(run.start).file + L"\"");
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

// Every run of a start: each call failing, and succeeding unusably where it can.
std::vector<RunChoice> AllRuns(const std::vector<sim::call_sweep::Call>& calls, Start start) {
    std::vector<RunChoice> runs;
    for (size_t k = 1; k <= calls.size(); ++k) {
        runs.push_back({k, Variant::Failure, start});
        if (calls[k - 1].offersUnusable) {
            runs.push_back({k, Variant::Unusable, start});
        }
    }
    return runs;
}

// Runs drawn with a fixed seed, up to the sample's size: enough to show that the sweep works.
std::vector<RunChoice> Sample(const std::vector<sim::call_sweep::Call>& calls, Start start,
                              unsigned seed) {
    std::vector<RunChoice> all = AllRuns(calls, start);
    std::set<RunChoice> chosen;
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

template <typename Runs>
size_t CountOf(const Runs& runs, Variant variant, Start start) {
    return static_cast<size_t>(std::count_if(runs.begin(), runs.end(), [&](const RunChoice& run) {
        return run.variant == variant && run.start == start;
    }));
}

void ListCalls(const char* start, const std::vector<sim::call_sweep::Call>& calls) {
    std::map<std::string, std::pair<int, bool>> kinds;  // count, and whether it can be unusable
    size_t offeringUnusable = 0;
    for (const sim::call_sweep::Call& call : calls) {
        auto& [count, unusable] = kinds[KindOf(call.name)];
        ++count;
        unusable = unusable || call.offersUnusable;
        offeringUnusable += call.offersUnusable ? 1 : 0;
    }
    std::printf(
        "On a %s the scripted use makes %zu outside calls, %zu of which can also succeed "
        "unusably:\n",
        start, calls.size(), offeringUnusable);
    for (const auto& [kind, entry] : kinds) {
        std::printf("  %4d  %-16s %s\n", entry.first, entry.second ? "fail, unusable" : "fail",
                    kind.c_str());
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == L"--child") {
        return sweep::RunSweepChild(std::string(args[1].begin(), args[1].end()), args[2]);
    }
    bool shortRun = false;
    unsigned jobs = kDefaultJobs;
    std::vector<RunChoice> chosen;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--short") {
            shortRun = true;
        } else if (args[i] == L"--runs" && i + 1 < args.size() && ParseList(args[i + 1], &chosen)) {
            ++i;
        } else if (args[i] == L"--jobs" && i + 1 < args.size()) {
            jobs = static_cast<unsigned>(std::max(1, _wtoi(args[++i].c_str())));
        } else {
            std::fprintf(stderr, "usage: halvo-sweep [--short | --runs K,Ku,sK,...] [--jobs N]\n");
            return 2;
        }
    }
    DWORD startTime = ::GetTickCount();
    Sweep sweep;
    for (Start start : {Start::First, Start::Second}) {
        if (!Count(start, &sweep.starts[start])) {
            return 1;
        }
    }
    const std::vector<sim::call_sweep::Call>& firstCalls = sweep.starts[Start::First].calls;
    const std::vector<sim::call_sweep::Call>& secondCalls = sweep.starts[Start::Second].calls;
    ListCalls("first run", firstCalls);
    std::printf("On a second start, %zu calls.\n", secondCalls.size());
    for (const RunChoice& run : chosen) {
        if (std::string why = Unmakeable(run, sweep.starts[run.start].calls); !why.empty()) {
            std::fprintf(stderr, "halvo-sweep: %s\n", why.c_str());
            return 2;
        }
    }
    std::vector<RunChoice> runs = chosen;
    if (runs.empty()) {
        for (Start start : {Start::First, Start::Second}) {
            const auto& calls = sweep.starts[start].calls;
            std::vector<RunChoice> some =
                shortRun ? Sample(calls, start, 20261208) : AllRuns(calls, start);
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
                    sweep.starts[run.start].calls[run.call - 1].name.c_str(), what.c_str());
    }
    if (!sweep.silentSteps.empty()) {
        std::printf("Steps that wrote nothing after the fault, as the rules say (runs):\n");
        for (const auto& [step, count] : sweep.silentSteps) {
            std::printf("  %4d  %s\n", count, step.c_str());
        }
    }
    double seconds = (::GetTickCount() - startTime) / 1000.0;
    size_t registry = 0, teardown = 0, offeringUnusable = 0;
    for (const sim::call_sweep::Call& call : firstCalls) {
        registry += IsRegistryCall(call.name) ? 1 : 0;
        teardown += IsTeardownCall(call.name) ? 1 : 0;
        offeringUnusable += call.offersUnusable ? 1 : 0;
    }
    bench::Figure("calls counted", static_cast<double>(firstCalls.size()), "calls");
    bench::Figure("calls counted that can succeed unusably", static_cast<double>(offeringUnusable),
                  "calls");
    bench::Figure("registry calls counted", static_cast<double>(registry), "calls");
    bench::Figure("teardown calls counted", static_cast<double>(teardown), "calls");
    bench::Figure("calls counted on a second start", static_cast<double>(secondCalls.size()),
                  "calls");
    const struct {
        const char* figure;
        Variant variant;
        Start start;
    } kinds[] = {
        {"failing runs passed", Variant::Failure, Start::First},
        {"unusable-answer runs passed", Variant::Unusable, Start::First},
        {"second-start failing runs passed", Variant::Failure, Start::Second},
        {"second-start unusable-answer runs passed", Variant::Unusable, Start::Second},
    };
    for (const auto& kind : kinds) {
        bench::Figure(kind.figure,
                      static_cast<double>(CountOf(sweep.passed, kind.variant, kind.start)), "runs",
                      bench::Goal::Equal,
                      static_cast<double>(CountOf(runs, kind.variant, kind.start)));
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
