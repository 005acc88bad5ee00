// Answers waiting to be sent late, in the order they fall due. Messages due
// at the same time leave in the order they were added.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <vector>

#include "peer/copydata_sender.h"

namespace vtx::peer {

class LateQueue {
public:
    using Clock = std::chrono::steady_clock;

    void Add(Clock::time_point due, OutgoingMessage message);
    // Removes and returns every message due at or before `now`.
    std::vector<OutgoingMessage> TakeDue(Clock::time_point now);
    std::optional<Clock::time_point> NextDue() const;
    void Clear();

private:
    std::multimap<Clock::time_point, OutgoingMessage> pending_;
};

}  // namespace vtx::peer
