#pragma once

#include <windows.h>
#include <pthread.h>

#include <mutex>

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

    void lock() { AcquireSRWLockExclusive(&m_lock); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&m_lock) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
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
