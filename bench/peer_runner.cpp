#include "peer_runner.h"

#include <string>
#include <vector>

namespace vtx::bench {
namespace {

const char* RuleOf(Delivery delivery) { return delivery == Delivery::Inline ? "answer * inline" : "answer * late=0"; }

}  // namespace

bool PeerRunner::Start() {
    process_.reset();  // ends an old peer before the new one shows its window
    const std::string rule = RuleOf(delivery_);
    process_ = std::make_unique<test::PeerProcess>(std::vector<std::wstring>{L"-c", {rule.begin(), rule.end()}});
    return Window() != nullptr;
}

bool PeerRunner::Use(Delivery delivery) {
    if (process_ && delivery == delivery_ && Window() != nullptr) return true;
    delivery_ = delivery;
    return Reapply() || Start();
}

bool PeerRunner::Reapply() { return Window() != nullptr && Command(RuleOf(delivery_)); }

}  // namespace vtx::bench
