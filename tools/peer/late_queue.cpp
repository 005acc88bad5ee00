#include "peer/late_queue.h"

namespace vtx::peer {

void LateQueue::Add(Clock::time_point due, OutgoingMessage message) { pending_.emplace(due, std::move(message)); }

std::vector<OutgoingMessage> LateQueue::TakeDue(Clock::time_point now) {
    std::vector<OutgoingMessage> due;
    const auto end = pending_.upper_bound(now);
    for (auto it = pending_.begin(); it != end; ++it) due.push_back(std::move(it->second));
    pending_.erase(pending_.begin(), end);
    return due;
}

std::optional<LateQueue::Clock::time_point> LateQueue::NextDue() const {
    if (pending_.empty()) return std::nullopt;
    return pending_.begin()->first;
}

void LateQueue::Clear() { pending_.clear(); }

}  // namespace vtx::peer
