#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A run's process as the sweep's main process sees it: started, heard line by line until it ends
// or falls silent, and judged by what it said last.
namespace sweep {

// One child process of the sweep, read line by line.
struct Outcome {
    std::vector<std::string> lines;
    bool silent = false;  // ended by us
    DWORD exitCode = 0;
};

// Starts this program again with `arguments` and reads what it says until it ends; one that falls
// silent for too long is ended.
Outcome RunChild(const std::wstring& arguments);

// What became of a run: "" when it passed, else what broke. A run passes only when its last word
// is a pass and its process then ended cleanly.
std::string Verdict(const std::string& name, const Outcome& outcome, std::string* silentSteps);

}  // namespace sweep
