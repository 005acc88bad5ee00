// The server-request queue: texts the peer started, oldest first, each
// operation one short hold of an in-process lock.
#include "transport/bridge_context.h"

namespace vtx {

void BridgeContext::PushServerRequest(WideString text) {
    LockHold hold(serverRequestGuard_);
    serverRequests_.push_back(QueuedRequest{nextSequence_++, std::move(text)});
}

std::optional<QueuedRequest> BridgeContext::FrontServerRequest() {
    LockHold hold(serverRequestGuard_);
    if (serverRequests_.empty()) return std::nullopt;
    return serverRequests_.front();
}

void BridgeContext::PopServerRequest() {
    LockHold hold(serverRequestGuard_);
    if (!serverRequests_.empty()) serverRequests_.pop_front();
}

bool BridgeContext::PopServerRequest(std::uint64_t sequence) {
    LockHold hold(serverRequestGuard_);
    if (serverRequests_.empty() || serverRequests_.front().sequence != sequence) return false;
    serverRequests_.pop_front();
    return true;
}

std::optional<WideString> BridgeContext::TakeServerRequest() {
    LockHold hold(serverRequestGuard_);
    if (serverRequests_.empty()) return std::nullopt;
    WideString text = std::move(serverRequests_.front().text);
    serverRequests_.pop_front();
    return text;
}

std::size_t BridgeContext::ServerRequestCount() {
    LockHold hold(serverRequestGuard_);
    return serverRequests_.size();
}

void BridgeContext::ClearServerRequests() {
    std::deque<QueuedRequest> discarded;
    LockHold hold(serverRequestGuard_);
    discarded.swap(serverRequests_);
}

}  // namespace vtx
