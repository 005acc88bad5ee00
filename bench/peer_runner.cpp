#include "peer_runner.h"

#include <string>

#include "stopwatch.h"

namespace vtx::bench {
namespace {

const char* RuleOf(Delivery delivery) { return delivery == Delivery::Inline ? "answer * inline" : "answer * late=0"; }

}  // namespace

bool PeerRunner::Restart() {
    const long long start = Ticks();
    if (process_) ++restarts_;
    process_.reset();  // ends the old peer before the new one shows its window
    const std::string rule = RuleOf(delivery_);
    process_ = std::make_unique<test::PeerProcess>(std::vector<std::wstring>{L"-c", {rule.begin(), rule.end()}});
    kept_ = 0;
    startSeconds_ += MicrosecondsSince(start) / 1e6;
    return Window() != nullptr;
}

bool PeerRunner::Use(Delivery delivery) {
    if (process_ && delivery == delivery_ && Window() != nullptr) return true;
    delivery_ = delivery;
    return Reapply() || Restart();
}

bool PeerRunner::Reapply() { return Window() != nullptr && Command(RuleOf(delivery_)); }

bool PeerRunner::Reserve(std::uint64_t bytes) {
    if (Window() == nullptr || kept_ + bytes > budget_) {
        if (!Restart()) return false;
    }
    kept_ += bytes;
    return true;
}

}  // namespace vtx::bench
