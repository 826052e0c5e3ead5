#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// One count of the calls the program makes into the stand-ins, across all of them: the audio
// service's operations, the driver's steps, the Windows version query and whatever else a
// stand-in passes through here. A sweep first counts the calls of a scripted use, then repeats
// the use once for each call k with call k answered otherwise: failing, and, for a call with an
// out-value where Windows may give one, succeeding with an answer the caller cannot use (a null
// device, an empty id, no bytes, a value of another type). Off, it costs one atomic read per call.
namespace call_sweep {

// How the call being answered otherwise is answered.
enum class Variant { Failure, Unusable };

// What a stand-in does with one call.
enum class Answer { Ordinary, Failure, Unusable };

// Whether a call can succeed unusably; each stand-in says so for each call it takes.
enum class Offer { FailureOnly, FailureOrUnusable };

struct Call {
    std::string name;
    bool offersUnusable;
    int64_t at = 0;  // when it was made: nanoseconds since 1970 (the system's precise time)
};

// From now on every call is recorded by name, none is answered otherwise.
void StartCounting();
// From now on every call is recorded, and the kth (counting from 1) is answered by the variant.
void StartAnswering(size_t k, Variant variant);
void StartFailing(size_t k);
// No more recording and no more answering otherwise; what was recorded stays readable.
void Stop();

// The calls recorded since the last start, in order.
std::vector<Call> RecordedCalls();
std::vector<std::string> Calls();
// The name of the call that was answered otherwise, or "" while that call has not come. A call
// asked for an unusable answer it does not offer answers as usual and is named with that note.
std::string AnsweredCall();

// Records an event of the caller's own among the calls (while calls are recorded), to time what
// happens between them: it is never answered otherwise and counts as no call.
void Note(const std::string& event);
std::vector<Call> RecordedEvents();

// For the stand-ins: whether calls are being recorded (to spare naming a call when not); AnswerFor,
// which records the call with what it offers and says how to answer it; and Fails for a call that
// offers only the failure.
bool Active();
Answer AnswerFor(const std::string& call, Offer offer);
bool Fails(const char* call);
bool Fails(const std::string& call);

}  // namespace call_sweep
}  // namespace sim
