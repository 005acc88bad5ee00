#include "peer_runner.h"

#include <string>
#include <vector>

namespace vtx::bench {
namespace {

const char* RuleOf(Delivery delivery) { return delivery == Delivery::Inline ? "answer * inline" : "answer * late=0"; }

// A peer answers no poll (docs/protocol.md); told to answer every code, it
// would answer each poll of the callback worker with an empty server
// request, and the host's callback would be called every 100 ms in the
// middle of the deliveries it times.
constexpr char kPollRule[] = "answer 1008,2008 silent";

}  // namespace

bool PeerRunner::Start() {
    process_.reset();  // ends an old peer before the new one shows its window
    const std::string rule = RuleOf(delivery_);
    const std::string polls = kPollRule;
    process_ = std::make_unique<test::PeerProcess>(
        std::vector<std::wstring>{L"-c", {rule.begin(), rule.end()}, L"-c", {polls.begin(), polls.end()}});
    return Window() != nullptr;
}

bool PeerRunner::Use(Delivery delivery) {
    if (process_ && delivery == delivery_ && Window() != nullptr) return true;
    delivery_ = delivery;
    return Reapply() || Start();
}

bool PeerRunner::Reapply() {
    return Window() != nullptr && Command((std::string(RuleOf(delivery_)) + "\n" + kPollRule).c_str());
}

}  // namespace vtx::bench
