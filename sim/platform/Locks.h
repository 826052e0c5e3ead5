#pragma once

#include <windows.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "sim/platform/LockWaits.h"

// Locks for the stand-ins that hold no kernel object past their use. The C++ runtime's mutex sits
// on a winpthreads mutex, which makes an event the first time a thread has to wait for it and
// closes it only when the mutex is destroyed, which std::mutex never does. The sweep counts the
// handles a run leaves; a lock contended during a run must not count as one.
namespace sim {

// A lock held with std::lock_guard, for locks that live as long as the process: a slim
// reader-writer lock, which never makes a kernel object.
class SlimLock {
public:
    SlimLock() = default;
    SlimLock(const SlimLock&) = delete;
    SlimLock& operator=(const SlimLock&) = delete;

    // A wait is timed and counted for the waiting thread (sim/platform/LockWaits.h).
    void lock() {
        if (!TryAcquireSRWLockExclusive(&m_lock)) {
            int64_t from = lock_waits::Now();
            AcquireSRWLockExclusive(&m_lock);
            lock_waits::Add(lock_waits::Now() - from);
        }
    }
    bool try_lock() { return TryAcquireSRWLockExclusive(&m_lock) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&m_lock); }
    PSRWLOCK Native() { return &m_lock; }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

// A condition to wait on under a SlimLock: a Win32 condition variable, which makes no kernel
// object either. std::condition_variable needs a std::mutex, whose event appears the first time
// two threads meet on it, at a moment that is chance: a soak would count it as a handle gained.
class SlimCondition {
public:
    SlimCondition() = default;
    SlimCondition(const SlimCondition&) = delete;
    SlimCondition& operator=(const SlimCondition&) = delete;

    void notify_one() { WakeConditionVariable(&m_condition); }
    void notify_all() { WakeAllConditionVariable(&m_condition); }

    template <class Done>
    void wait(std::unique_lock<SlimLock>& lock, Done done) {
        while (!done()) {
            SleepConditionVariableSRW(&m_condition, lock.mutex()->Native(), INFINITE, 0);
        }
    }

    // Waits for a wake-up or until the time; a caller tests again what it waits for.
    template <class Clock, class Duration>
    void wait_until(std::unique_lock<SlimLock>& lock,
                    const std::chrono::time_point<Clock, Duration>& until) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left > 0) {
            DWORD milliseconds = static_cast<DWORD>(std::min<long long>(left, INFINITE - 1));
            SleepConditionVariableSRW(&m_condition, lock.mutex()->Native(), milliseconds, 0);
        }
    }

private:
    CONDITION_VARIABLE m_condition = CONDITION_VARIABLE_INIT;
};

// A std::mutex, for std::condition_variable, that gives back its event when it ends: for objects
// that end before the process does.
class OwnedMutex : public std::mutex {
public:
    OwnedMutex() = default;
    OwnedMutex(const OwnedMutex&) = delete;
    OwnedMutex& operator=(const OwnedMutex&) = delete;
    ~OwnedMutex() { pthread_mutex_destroy(native_handle()); }
};

}  // namespace sim
