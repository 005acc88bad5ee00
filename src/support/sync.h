// In-process locks for the library's own data. They hold no handle and need
// no cleanup (SRWLOCK, CONDITION_VARIABLE), so nothing of them outlives an
// unload, and they do not depend on the C++ runtime's thread model. Both meet
// the standard's Lockable requirements: use std::lock_guard / std::unique_lock.
#pragma once

#include <windows.h>

#include <mutex>

namespace vtx {

class Lock {
public:
    Lock() = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void lock() noexcept { ::AcquireSRWLockExclusive(&lock_); }
    bool try_lock() noexcept { return ::TryAcquireSRWLockExclusive(&lock_) != FALSE; }
    void unlock() noexcept { ::ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* native() noexcept { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

using LockHold = std::lock_guard<Lock>;

class ConditionVariable {
public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    // Waits up to `timeoutMs` for a notification (or a spurious wake-up) with
    // `hold` released meanwhile. False when the time ran out.
    bool WaitFor(std::unique_lock<Lock>& hold, DWORD timeoutMs) noexcept {
        return ::SleepConditionVariableSRW(&condition_, hold.mutex()->native(), timeoutMs, 0) != FALSE;
    }
    void NotifyOne() noexcept { ::WakeConditionVariable(&condition_); }
    void NotifyAll() noexcept { ::WakeAllConditionVariable(&condition_); }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace vtx
