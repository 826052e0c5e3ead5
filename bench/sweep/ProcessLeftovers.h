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
    // Every open handle, with its object's type, and for a key or a file its name
    // ("File \??\Z:\work").
    std::map<HANDLE, std::string> handles;
    std::set<DWORD> threads;
    std::map<HWND, std::string> windows;  // the process's top-level and message-only windows
    UINT_PTR timerMark = 0;               // a thread timer's id, to bracket the run's timers
    std::wstring directory;
    HANDLE directoryHandle = nullptr;  // the process's own handle on its current directory
    std::string directoryHandleName;   // as `handles` names it
};

// Takes the state of the process. Calls that Windows makes lazily the first time (the input
// method's window, the debug channel's mutex) should have been made before the first one.
ProcessState TakeProcessState();

// What `after` holds that `before` did not, described, and each thread timer made between the
// two that is still set (such a timer is killed on the way). Files are told by their names, not
// their handles' values: a change of directory and back (as the library load makes) opens the
// current directory anew, at whatever value is free then, and a file opened again may take the
// value another one had. So a name open more often after than before is a leftover, and the
// process's own handle on its current directory is none only while it names the directory it
// named before.
std::vector<std::string> Leftovers(const ProcessState& before, const ProcessState& after);

// The lazily made things of a process that shows a sheet, made now.
void WarmUpProcess();

}  // namespace sweep
