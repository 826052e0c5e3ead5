#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

// What a run may leave in its process besides the stand-ins' own objects: kernel handles (the
// registry keys the program opened among them), threads, windows hidden or not, thread timers and
// the current directory. Taken before and after a run and compared.
namespace sweep {

struct ProcessState {
    std::map<HANDLE, std::string> handles;  // every open handle, with its object's type
    std::set<DWORD> threads;
    std::map<HWND, std::string> windows;  // the process's top-level and message-only windows
    UINT_PTR timerMark = 0;               // a thread timer's id, to bracket the run's timers
    std::wstring directory;
    HANDLE directoryHandle = nullptr;  // the process's own handle on its current directory
};

// Takes the state of the process. Calls that Windows makes lazily the first time (the input
// method's window, the debug channel's mutex) should have been made before the first one.
ProcessState TakeProcessState();

// What `after` holds that `before` did not, described, and each thread timer made between the
// two that is still set (such a timer is killed on the way). The process's handle on its current
// directory is never one: the process holds exactly one at any time, and a change of directory
// and back (as the library load makes) opens it anew, at whatever value is free then.
std::vector<std::string> Leftovers(const ProcessState& before, const ProcessState& after);

// The lazily made things of a process that shows a sheet, made now.
void WarmUpProcess();

}  // namespace sweep
