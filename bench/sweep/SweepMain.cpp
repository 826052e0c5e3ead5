// halvo-sweep: the program's scripted use failed at every outside call in turn.
//
//   halvo-sweep                  every call k from 1 to N; the figures tell how many runs passed
//   halvo-sweep --short          a seeded sample: the first call of every kind, and some more
//   halvo-sweep --runs 5,17,40   those calls only
// The last two end with a failure status when any run failed.
//   halvo-sweep --child LIST     (internal) one process of runs; see SweepChild.h
//
// The runs go in batches into processes of their own, so that a crash or a hang ends one run and
// not the sweep.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/Figures.h"
#include "bench/sweep/SweepChild.h"

namespace {

// Runs per process; a process first makes its own fault-free run.
constexpr size_t kBatch = 40;
// The sample of a short sweep, the first call of every kind included.
constexpr size_t kShortSample = 80;
// A process that says nothing for this long is ended (its watchdog has failed too).
constexpr DWORD kSilenceMilliseconds = 60000;

std::vector<size_t> ParseList(const std::wstring& text) {
    std::vector<size_t> list;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L',', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        size_t k = wcstoul(text.substr(start, end - start).c_str(), nullptr, 10);
        if (k) {
            list.push_back(k);
        }
        start = end + 1;
    }
    return list;
}

std::wstring FormatList(const std::vector<size_t>& list) {
    std::wstring text;
    for (size_t k : list) {
        text += (text.empty() ? L"" : L",") + std::to_wstring(k);
    }
    return text;
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
    std::vector<std::string> calls;  // the fault-free run's, in order
    std::map<size_t, std::string> failures;
    std::set<size_t> passed;
};

// The counting run: every outside call of the scripted use.
bool Count(Sweep* sweep) {
    Child::Outcome outcome = Child::Run(L"--child --list");
    for (const std::string& line : outcome.lines) {
        if (line.rfind("call ", 0) == 0) {
            size_t space = line.find(' ', 5);
            sweep->calls.push_back(line.substr(space + 1));
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

// Runs every k of the list, a batch per process; a process that ends early takes the run it was
// in with it, and the rest go to a new one.
void RunAll(const std::vector<size_t>& runs, Sweep* sweep) {
    std::vector<size_t> left = runs;
    while (!left.empty()) {
        std::vector<size_t> batch(left.begin(),
                                  left.begin() + static_cast<long>(std::min(kBatch, left.size())));
        Child::Outcome outcome = Child::Run(L"--child " + FormatList(batch));
        size_t started = 0;
        std::set<size_t> done;
        for (const std::string& line : outcome.lines) {
            size_t k = 0;
            char verdict[8] = {};
            int at = 0;
            if (std::sscanf(line.c_str(), "run %zu", &k) == 1) {
                started = k;
            } else if (std::sscanf(line.c_str(), "result %zu %7s %n", &k, verdict, &at) >= 2) {
                done.insert(k);
                if (std::string(verdict) == "pass") {
                    sweep->passed.insert(k);
                } else {
                    sweep->failures[k] = line.substr(static_cast<size_t>(at));
                }
            } else if (line.rfind("error", 0) == 0) {
                for (size_t k2 : batch) {
                    sweep->failures[k2] = line;
                }
                return;
            }
        }
        if (started && !done.count(started)) {
            sweep->failures[started] = outcome.silent ? "hang: the process fell silent"
                                                      : "the run ended the process (exit code " +
                                                            std::to_string(outcome.exitCode) + ")";
            std::printf("\nresult %zu FAIL %s\n", started, sweep->failures[started].c_str());
            done.insert(started);
        }
        if (done.empty()) {
            for (size_t k : batch) {
                sweep->failures[k] = "the process ended before its first run";
            }
            return;
        }
        std::vector<size_t> rest;
        for (size_t k : left) {
            if (!done.count(k)) {
                rest.push_back(k);
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

// The first call of every kind, then calls drawn with a fixed seed up to the sample's size.
std::vector<size_t> Sample(const std::vector<std::string>& calls, unsigned seed) {
    std::set<size_t> chosen;
    std::set<std::string> kinds;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (kinds.insert(KindOf(calls[i])).second) {
            chosen.insert(i + 1);
        }
    }
    std::mt19937 random(seed);
    while (chosen.size() < std::min(kShortSample, calls.size())) {
        chosen.insert(std::uniform_int_distribution<size_t>(1, calls.size())(random));
    }
    return std::vector<size_t>(chosen.begin(), chosen.end());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == L"--child") {
        bool list = args.size() > 1 && args[1] == L"--list";
        return sweep::RunSweepChild(
            args.size() > 1 && !list ? ParseList(args[1]) : std::vector<size_t>{}, list);
    }
    bool shortRun = false;
    std::vector<size_t> chosen;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--short") {
            shortRun = true;
        } else if (args[i] == L"--runs" && i + 1 < args.size()) {
            chosen = ParseList(args[++i]);
        } else {
            std::fprintf(stderr, "usage: halvo-sweep [--short | --runs K,K,...]\n");
            return 2;
        }
    }
    DWORD start = ::GetTickCount();
    Sweep sweep;
    if (!Count(&sweep)) {
        return 1;
    }
    const size_t total = sweep.calls.size();
    std::map<std::string, int> kinds;
    for (const std::string& call : sweep.calls) {
        ++kinds[KindOf(call)];
    }
    std::printf("The scripted use makes %zu outside calls:\n", total);
    for (const auto& [kind, count] : kinds) {
        std::printf("  %4d  %s\n", count, kind.c_str());
    }
    std::vector<size_t> runs = chosen;
    if (runs.empty() && shortRun) {
        runs = Sample(sweep.calls, 20261208);
    } else if (runs.empty()) {
        for (size_t k = 1; k <= total; ++k) {
            runs.push_back(k);
        }
    }
    std::erase_if(runs, [&](size_t k) { return k > total; });
    std::printf("Failing %zu of them, each in a run of its own.\n", runs.size());
    std::fflush(stdout);
    RunAll(runs, &sweep);
    std::printf("\n");
    for (const auto& [k, what] : sweep.failures) {
        std::printf("FAILED run %zu (%s): %s\n", k, sweep.calls[k - 1].c_str(), what.c_str());
    }
    double seconds = (::GetTickCount() - start) / 1000.0;
    bench::Figure("calls counted", static_cast<double>(total), "calls");
    bench::Figure("calls swept", static_cast<double>(runs.size()), "calls");
    bench::Figure("sweep runs passed", static_cast<double>(sweep.passed.size()), "runs",
                  bench::Goal::Equal, static_cast<double>(runs.size()));
    bench::Figure("sweep time", seconds, "s");
    // The whole sweep reports its figures; a chosen part is a test, which fails with any run.
    return sweep.passed.size() == runs.size() || (!shortRun && chosen.empty()) ? 0 : 1;
}
