#pragma once

#include <windows.h>

#include <cstddef>

namespace sim {

// PostMessageW as Windows answers it: a thread's queue takes at most 10,000 posted messages (the
// default USERPostMessageLimit), and a post past that fails with ERROR_NOT_ENOUGH_QUOTA. Wine
// takes 200,000, so the stand-in counts, for every thread it posts to, the messages it posted
// there that the thread has not yet taken from its queue, and refuses past the quota. The
// stand-in platform table posts this way by default.
BOOL WINAPI StandInPostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr size_t kPostQuota = 10000;

// Posts the stand-in made and those it refused, since the process began.
size_t PostsMade();
size_t PostsRefused();

// For a test of the program's answer to a refused post: while an object lives, every post
// through the platform seam is refused as if the queue were full.
class ScopedFullQueue {
public:
    ScopedFullQueue();
    ScopedFullQueue(const ScopedFullQueue&) = delete;
    ScopedFullQueue& operator=(const ScopedFullQueue&) = delete;
    ~ScopedFullQueue();
};

}  // namespace sim
