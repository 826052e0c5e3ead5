#pragma once

#include <string>

#include "bench/sweep/SweepRun.h"

namespace sweep {

// A process of the sweep makes one run, so that nothing one run leaves can touch another, and its
// end is watched as closely as the run itself.
//
// The fault-free run of a start (`run` "0" or "s0") also writes `reference`, the file that tells
// the other runs of that start where each call belongs: "part N" for the calls made before each
// part began, then "call fail NAME" or "call fail+unusable NAME" for each call in order. It prints
// "calls N" and "call i fail|fail+unusable NAME" lines too.
//
// Every run prints "run R NAME" and at its end "result R pass", "result R pass; wrote nothing in:
// PART; PART" (the steps the fault silenced, as the rules say), or "result R FAIL what broke".
// A crash, on any thread and at any time up to the process's very end, or a hang, prints a last
// "result R FAIL crash: ..." or "result R FAIL hang: ..." with where it was. The process ends
// with 0 once its run has said its result.
int RunSweepChild(const std::string& run, const std::wstring& reference);

// Reads a reference file; false if it cannot be read.
bool ReadFaultFreeCalls(const std::wstring& path, FaultFreeCalls* calls);

}  // namespace sweep
