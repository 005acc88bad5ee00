#include <windows.h>

#include "support/sync.h"

namespace vtx {
namespace {
static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "Lock and ConditionVariable keep their Windows objects in one pointer");

SRWLOCK* SrwOf(void** slot) { return reinterpret_cast<SRWLOCK*>(slot); }
}  // namespace

void Lock::lock() noexcept { ::AcquireSRWLockExclusive(SrwOf(&srw_)); }
void Lock::unlock() noexcept { ::ReleaseSRWLockExclusive(SrwOf(&srw_)); }

bool ConditionVariable::WaitFor(LockHold& hold, std::uint32_t timeoutMs) noexcept {
    return ::SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&condition_), SrwOf(&hold.lock_.srw_),
                                       timeoutMs, 0) != FALSE;
}

void ConditionVariable::NotifyAll() noexcept {
    ::WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&condition_));
}

std::uint64_t MonotonicMs() noexcept { return ::GetTickCount64(); }

}  // namespace vtx
