#include "bench/sweep/ChildProcess.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace sweep {
namespace {

// A process that says nothing for this long is ended (its watchdog has failed too).
constexpr DWORD kSilenceMilliseconds = 60000;
constexpr int kStartAttempts = 3;

// An inheritable handle made for one child passes to every child started while it is open. A
// child of another worker would then hold this child's pipe open after this child ended, so the
// pipe is made and handed over under one lock.
std::mutex g_handingOver;

}  // namespace

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

}  // namespace sweep
