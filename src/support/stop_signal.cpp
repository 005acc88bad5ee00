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
    LockHold hold(lock_);
    return !raisedNow_.WaitUntil(hold, ms, [this] { return raised_.load(); });
}

}  // namespace vtx
