// The named kernel mutexes that guard the shared containers. Every process of
// the user's session that loads the library opens the same ones.
#pragma once

#include <windows.h>

#include "support/sync.h"
#include "support/unique_handle.h"

namespace vtx {

class ProcessLock {
public:
    // Opens or creates the named mutex. When the name cannot be used (another
    // kind of object holds it, or creation fails) the lock falls back to an
    // unnamed mutex, and failing that to an in-process one: the guarded
    // container is never used without mutual exclusion.
    explicit ProcessLock(const wchar_t* name);
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // True when the lock is the named, session-wide mutex.
    bool IsNamed() const { return named_; }
    HANDLE NativeHandle() const { return mutex_.get(); }

    class [[nodiscard]] Hold {
    public:
        explicit Hold(ProcessLock& lock);
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();

    private:
        ProcessLock& lock_;
        bool usedLocal_ = false;
    };

    // Waits without a time limit. An abandoned mutex (its holder ended) counts
    // as acquired; a failed wait falls back to the in-process lock.
    Hold Acquire() { return Hold(*this); }

private:
    UniqueHandle mutex_;
    bool named_ = false;
    Lock local_;
};

}  // namespace vtx
