#include "sim/platform/CallSweep.h"

#include <atomic>
#include <mutex>

namespace sim::call_sweep {
namespace {

// Calls come from the program's thread and the notification thread alike.
std::atomic<bool> g_on{false};
std::mutex g_mutex;
std::vector<std::string> g_calls;
size_t g_failing = 0;  // 0: none
std::string g_failedCall;

void Start(size_t k) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
    g_failing = k;
    g_failedCall.clear();
    g_on = true;
}

}  // namespace

void StartCounting() {
    Start(0);
}

void StartFailing(size_t k) {
    Start(k);
}

void Stop() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_on = false;
    g_failing = 0;
}

std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_calls;
}

std::string FailedCall() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_failedCall;
}

bool Active() {
    return g_on;
}

bool Fails(const std::string& call) {
    if (!g_on) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_on) {
        return false;
    }
    g_calls.push_back(call);
    if (g_calls.size() != g_failing) {
        return false;
    }
    g_failedCall = call;
    return true;
}

bool Fails(const char* call) {
    return g_on && Fails(std::string(call));
}

}  // namespace sim::call_sweep
