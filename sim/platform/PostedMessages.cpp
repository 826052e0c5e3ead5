#include "sim/platform/PostedMessages.h"

#include <atomic>
#include <map>
#include <mutex>

#include "sim/platform/StandInApi.h"
#include "sim/platform/Locks.h"

namespace sim {
namespace {

// A thread's posted messages that came through the stand-in: how many wait, by message number,
// and the hook that sees the thread take them from its queue.
struct ThreadQueue {
    HHOOK hook = nullptr;
    std::map<UINT, size_t> waiting;
    size_t total = 0;
};

sim::SlimLock g_mutex;
std::map<DWORD, ThreadQueue> g_queues;
std::atomic<size_t> g_made{0};
std::atomic<size_t> g_refused{0};
std::atomic<int> g_fullQueues{0};

// On the queue's own thread, whenever it takes a posted message out.
LRESULT CALLBACK TakenFromQueue(int code, WPARAM removal, LPARAM lParam) {
    if (code == HC_ACTION && removal == PM_REMOVE) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        std::lock_guard<sim::SlimLock> lock(g_mutex);
        auto queue = g_queues.find(::GetCurrentThreadId());
        if (queue != g_queues.end()) {
            auto waiting = queue->second.waiting.find(msg->message);
            if (waiting != queue->second.waiting.end() && waiting->second > 0) {
                --waiting->second;
                --queue->second.total;
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, removal, lParam);
}

// The queue of the thread that owns the window; the hook is set on the first post there.
ThreadQueue* QueueOf(DWORD thread) {
    ThreadQueue& queue = g_queues[thread];
    if (!queue.hook) {
        queue.hook = ::SetWindowsHookExW(WH_GETMESSAGE, TakenFromQueue, nullptr, thread);
    }
    return queue.hook ? &queue : nullptr;
}

}  // namespace

BOOL WINAPI StandInPostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD thread = window ? ::GetWindowThreadProcessId(window, nullptr) : 0;
    if (!thread) {
        // No window, or one that has gone: Windows refuses the post.
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    ThreadQueue* queue = QueueOf(thread);
    if (g_fullQueues > 0 || (queue && queue->total >= kPostQuota)) {
        ++g_refused;
        ::SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    if (!::PostMessageW(window, message, wParam, lParam)) {
        return FALSE;
    }
    ++g_made;
    if (queue) {
        ++queue->waiting[message];
        ++queue->total;
    }
    return TRUE;
}

size_t PostsMade() {
    return g_made;
}

size_t PostsRefused() {
    return g_refused;
}

ScopedFullQueue::ScopedFullQueue() {
    ++g_fullQueues;
}

ScopedFullQueue::~ScopedFullQueue() {
    --g_fullQueues;
}

}  // namespace sim
