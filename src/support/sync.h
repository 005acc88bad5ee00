// In-process locks, a condition variable and the monotonic clock: the same
// interface in the DLL (Windows) and in the native build that runs the
// portable components' tests under the sanitizers.
//
// On Windows the lock is an SRWLOCK and the condition a CONDITION_VARIABLE,
// each one pointer wide and zero when idle: no handle, nothing to release at
// unload, and a lock at namespace scope is constant-initialized (the DLL runs
// no static constructors). They are kept here as a plain pointer so that
// this header needs no <windows.h>.
#pragma once

#include <cstdint>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace vtx {

class Lock {
public:
    constexpr Lock() noexcept = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void lock() noexcept;
    void unlock() noexcept;

private:
    friend class ConditionVariable;
#if defined(_WIN32)
    void* srw_ = nullptr;
#else
    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
#endif
};

// Holds a lock for its scope; Leave and Enter let a waiter step out and back.
class LockHold {
public:
    explicit LockHold(Lock& lock) noexcept : lock_(lock) { lock_.lock(); }
    ~LockHold() {
        if (held_) lock_.unlock();
    }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

    void Leave() noexcept {
        lock_.unlock();
        held_ = false;
    }
    void Enter() noexcept {
        lock_.lock();
        held_ = true;
    }

private:
    friend class ConditionVariable;
    Lock& lock_;
    bool held_ = true;
};

class ConditionVariable {
public:
#if defined(_WIN32)
    constexpr ConditionVariable() noexcept = default;
#else
    ConditionVariable() noexcept;
    ~ConditionVariable();
#endif
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    // Waits up to `timeoutMs` for a notification (or a spurious wake-up),
    // the held lock released meanwhile. False when the time ran out.
    bool WaitFor(LockHold& hold, std::uint32_t timeoutMs) noexcept;
    // Waits until `done()` holds or `timeoutMs` have passed on the monotonic
    // clock, whatever the wake-ups in between; returns done().
    template <class Done>
    [[nodiscard]] bool WaitUntil(LockHold& hold, std::uint32_t timeoutMs, Done done) noexcept;
    void NotifyAll() noexcept;

private:
#if defined(_WIN32)
    void* condition_ = nullptr;
#else
    pthread_cond_t condition_;
#endif
};

// Milliseconds since an arbitrary start, never moving back: deadlines and
// pauses are measured on it, so a wall clock set by hand or by time sync
// changes none of them.
std::uint64_t MonotonicMs() noexcept;

template <class Done>
bool ConditionVariable::WaitUntil(LockHold& hold, std::uint32_t timeoutMs, Done done) noexcept {
    const std::uint64_t deadline = MonotonicMs() + timeoutMs;
    for (std::uint64_t now = MonotonicMs(); !done() && now < deadline; now = MonotonicMs()) {
        WaitFor(hold, static_cast<std::uint32_t>(deadline - now));
    }
    return done();
}

}  // namespace vtx
