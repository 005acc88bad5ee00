// Raised once, when the library is being unloaded: from then on no send,
// no message box and no pause of a host thread inside the library starts,
// and every pause under way ends at once. Portable.
#pragma once

#include <atomic>
#include <cstdint>

#include "support/sync.h"

namespace vtx {

class StopSignal {
public:
    StopSignal() = default;
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise() noexcept;
    bool Raised() const noexcept { return raised_.load(); }
    // Pauses `ms` milliseconds, less when raised meanwhile. False when the
    // signal is raised.
    [[nodiscard]] bool Pause(std::uint32_t ms) noexcept;

private:
    std::atomic<bool> raised_{false};
    Lock lock_;
    ConditionVariable raisedNow_;
};

}  // namespace vtx
