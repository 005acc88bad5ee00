#include "support/stop_signal.h"

namespace vtx {

void StopSignal::Raise() noexcept {
    {
        LockHold hold(lock_);
        raised_ = true;
    }
    raisedNow_.NotifyAll();
}

bool StopSignal::Pause(std::uint32_t ms) noexcept {
    const std::uint64_t end = MonotonicMs() + ms;
    LockHold hold(lock_);
    for (std::uint64_t now = MonotonicMs(); !raised_.load() && now < end; now = MonotonicMs()) {
        raisedNow_.WaitFor(hold, static_cast<std::uint32_t>(end - now));
    }
    return !raised_.load();
}

}  // namespace vtx
