// The server-request queue: texts the peer started, oldest first, each
// operation one short hold of the "ServerRequest" lock.
#include "transport/bridge_context.h"

namespace vtx {

void BridgeContext::PushServerRequest(WideString text) {
    auto hold = serverRequestLock_.Acquire();
    serverRequests_.push_back(QueuedRequest{nextSequence_++, std::move(text)});
}

std::optional<QueuedRequest> BridgeContext::FrontServerRequest() {
    auto hold = serverRequestLock_.Acquire();
    if (serverRequests_.empty()) return std::nullopt;
    return serverRequests_.front();
}

void BridgeContext::PopServerRequest() {
    auto hold = serverRequestLock_.Acquire();
    if (!serverRequests_.empty()) serverRequests_.pop_front();
}

bool BridgeContext::PopServerRequest(std::uint64_t sequence) {
    auto hold = serverRequestLock_.Acquire();
    if (serverRequests_.empty() || serverRequests_.front().sequence != sequence) return false;
    serverRequests_.pop_front();
    return true;
}

std::optional<WideString> BridgeContext::TakeServerRequest() {
    auto hold = serverRequestLock_.Acquire();
    if (serverRequests_.empty()) return std::nullopt;
    WideString text = std::move(serverRequests_.front().text);
    serverRequests_.pop_front();
    return text;
}

std::size_t BridgeContext::ServerRequestCount() {
    auto hold = serverRequestLock_.Acquire();
    return serverRequests_.size();
}

void BridgeContext::ClearServerRequests() {
    std::deque<QueuedRequest> discarded;
    auto hold = serverRequestLock_.Acquire();
    discarded.swap(serverRequests_);
}

}  // namespace vtx
