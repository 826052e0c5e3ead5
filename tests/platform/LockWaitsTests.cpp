// The stand-ins' locks count a wait for the thread that waited, and only a wait.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "sim/platform/Locks.h"

namespace {

TEST(LockWaits, AWaitCountsForTheWaiterAloneAndATakenLockForNoOne) {
    sim::SlimLock lock;
    std::atomic<bool> held{false};
    std::atomic<DWORD> holder{0}, waiter{0};
    std::thread holding([&] {
        holder = ::GetCurrentThreadId();
        std::lock_guard<sim::SlimLock> guard(lock);
        held = true;
        ::Sleep(60);
    });
    while (!held) {
        ::Sleep(1);
    }
    std::thread waiting([&] {
        waiter = ::GetCurrentThreadId();
        std::lock_guard<sim::SlimLock> guard(lock);
    });
    holding.join();
    waiting.join();
    // Most of the holder's 60 ms, less the moment the waiter took to start.
    EXPECT_GE(sim::lock_waits::Of(waiter), 30'000'000);
    EXPECT_LE(sim::lock_waits::Of(waiter), 5'000'000'000LL);
    EXPECT_EQ(0, sim::lock_waits::Of(holder));

    // Taken at once: nothing counted.
    int64_t before = sim::lock_waits::Of(::GetCurrentThreadId());
    { std::lock_guard<sim::SlimLock> guard(lock); }
    EXPECT_EQ(before, sim::lock_waits::Of(::GetCurrentThreadId()));
}

}  // namespace
