#include "sim/platform/CallSweep.h"
#include "sim/platform/Locks.h"

#include <atomic>
#include <mutex>

namespace sim::call_sweep {
namespace {

int64_t Now() {
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return (static_cast<int64_t>(ticks.QuadPart) - 116444736000000000LL) * 100;
}

// Calls come from the program's thread and the notification thread alike.
std::atomic<bool> g_on{false};
sim::SlimLock g_mutex;
std::vector<Call> g_calls;
std::vector<Call> g_events;  // the calls and the notes, in order
size_t g_answering = 0;  // 0: none
Variant g_variant = Variant::Failure;
std::string g_answeredCall;

}  // namespace

void StartCounting() {
    StartAnswering(0, Variant::Failure);
}

void StartAnswering(size_t k, Variant variant) {
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    g_calls.clear();
    g_events.clear();
    g_answering = k;
    g_variant = variant;
    g_answeredCall.clear();
    g_on = true;
}

void StartFailing(size_t k) {
    StartAnswering(k, Variant::Failure);
}

void Stop() {
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    g_on = false;
    g_answering = 0;
}

std::vector<Call> RecordedCalls() {
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    return g_calls;
}

std::vector<Call> RecordedEvents() {
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    return g_events;
}

void Note(const std::string& event) {
    if (!g_on) {
        return;
    }
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    g_events.push_back({event, false, Now()});
}

std::vector<std::string> Calls() {
    std::vector<std::string> names;
    for (const Call& call : RecordedCalls()) {
        names.push_back(call.name);
    }
    return names;
}

std::string AnsweredCall() {
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    return g_answeredCall;
}

bool Active() {
    return g_on;
}

Answer AnswerFor(const std::string& call, Offer offer) {
    if (!g_on) {
        return Answer::Ordinary;
    }
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    if (!g_on) {
        return Answer::Ordinary;
    }
    bool offersUnusable = offer == Offer::FailureOrUnusable;
    g_calls.push_back({call, offersUnusable, Now()});
    g_events.push_back(g_calls.back());
    if (g_calls.size() != g_answering) {
        return Answer::Ordinary;
    }
    if (g_variant == Variant::Failure) {
        g_answeredCall = call;
        return Answer::Failure;
    }
    if (!offersUnusable) {
        g_answeredCall = call + " (which has no unusable answer)";
        return Answer::Ordinary;
    }
    g_answeredCall = call;
    return Answer::Unusable;
}

bool Fails(const std::string& call) {
    return AnswerFor(call, Offer::FailureOnly) == Answer::Failure;
}

bool Fails(const char* call) {
    return g_on && Fails(std::string(call));
}

}  // namespace sim::call_sweep
