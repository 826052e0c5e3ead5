#pragma once

#include <string>

// A crash anywhere in a sweep process, on any thread, ends the process with a line that names the
// run and where it was, even a crash that a caller on the way would swallow (a timer's dispatch,
// a window procedure that catches everything): the guard sees the exception before any handler.
namespace sweep {

// The start of the line a crash prints, "result 17u FAIL": set once the run is known.
void SetCrashLine(const std::string& head);
// Where the process is: "start-up", "step 3 'slide Bass Boost to 3'", "the process's end".
void SetCrashPlace(const std::string& place);
std::string CrashPlace();

// From now on an exception that ends a program (an access violation, an illegal instruction, a
// division by zero, a stack overflow, a heap found corrupt, a C++ throw, an abort) prints
// "HEAD crash: WHAT at MODULE+OFFSET in PLACE" and ends the process with exit code 4.
void InstallCrashGuard();

}  // namespace sweep
