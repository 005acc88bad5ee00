// The native build's locks: pthreads, with the condition timed on the
// monotonic clock as on Windows.
#include <ctime>

#include "support/sync.h"

namespace vtx {

void Lock::lock() noexcept { pthread_mutex_lock(&mutex_); }
void Lock::unlock() noexcept { pthread_mutex_unlock(&mutex_); }

ConditionVariable::ConditionVariable() noexcept {
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&condition_, &attributes);
    pthread_condattr_destroy(&attributes);
}

ConditionVariable::~ConditionVariable() { pthread_cond_destroy(&condition_); }

bool ConditionVariable::WaitFor(LockHold& hold, std::uint32_t timeoutMs) noexcept {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        ++deadline.tv_sec;
        deadline.tv_nsec -= 1000000000L;
    }
    return pthread_cond_timedwait(&condition_, &hold.lock_.mutex_, &deadline) == 0;
}

void ConditionVariable::NotifyAll() noexcept { pthread_cond_broadcast(&condition_); }

std::uint64_t MonotonicMs() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace vtx
