#pragma once

#include <string>
#include <vector>

namespace sim {

// One count of the calls the program makes into the stand-ins, across all of them: the audio
// service's operations, the driver's steps, the Windows version query and whatever else a
// stand-in passes through here. A sweep first counts the calls of a scripted use, then repeats
// the use once for each call k with call k failing. Off, it costs one atomic read per call.
namespace call_sweep {

// From now on every call is recorded by name, none fails.
void StartCounting();
// From now on every call is recorded, and the kth (counting from 1) fails.
void StartFailing(size_t k);
// No more recording and no more failing; what was recorded stays readable.
void Stop();

// The calls recorded since the last start, in order.
std::vector<std::string> Calls();
// The name of the call that was made to fail, or "" while that call has not come.
std::string FailedCall();

// For the stand-ins: whether calls are being recorded (to spare naming a call when not), and
// Fails, which records the call and says whether it is the one to fail.
bool Active();
bool Fails(const char* call);
bool Fails(const std::string& call);

}  // namespace call_sweep
}  // namespace sim
