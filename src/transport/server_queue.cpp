// The server-request queue: texts the peer started, oldest first, each
// operation one short hold of an in-process lock. The queue counts the
// bytes it holds, so that its bound is checked without walking it.
#include "support/limited_log.h"
#include "transport/bridge_context.h"

namespace vtx {
namespace {
std::size_t StoredBytes(const WideString& text) { return text.size() * sizeof(wchar_t); }
}  // namespace

bool BridgeContext::PushServerRequest(WideString text) {
    const std::size_t bytes = StoredBytes(text);
    bool kept = false;
    {
        LockHold hold(serverRequestGuard_);
        if (bytes <= kServerRequestQueueBytes - queuedBytes_) {
            serverRequests_.push_back(QueuedRequest{nextSequence_++, std::move(text)});
            queuedBytes_ += bytes;
            kept = true;
        }
    }
    if (!kept) {
        // A flooding peer meets this thousands of times a second: limited.
        WriteLimitedLog(LogKind::RefusedMessage,
                        "[PushServerRequest] Server request queue is full: " + std::to_string(bytes) + " bytes refused.");
        return false;
    }
    WakeCallbackWorker();
    return true;
}

std::optional<QueuedRequest> BridgeContext::FrontServerRequest() {
    LockHold hold(serverRequestGuard_);
    if (serverRequests_.empty()) return std::nullopt;
    return serverRequests_.front();
}

void BridgeContext::PopServerRequest() {
    LockHold hold(serverRequestGuard_);
    if (serverRequests_.empty()) return;
    queuedBytes_ -= StoredBytes(serverRequests_.front().text);
    serverRequests_.pop_front();
}

bool BridgeContext::PopServerRequest(std::uint64_t sequence) {
    LockHold hold(serverRequestGuard_);
    if (serverRequests_.empty() || serverRequests_.front().sequence != sequence) return false;
    queuedBytes_ -= StoredBytes(serverRequests_.front().text);
    serverRequests_.pop_front();
    return true;
}

std::optional<WideString> BridgeContext::TakeServerRequest() {
    LockHold hold(serverRequestGuard_);
    if (serverRequests_.empty()) return std::nullopt;
    WideString text = std::move(serverRequests_.front().text);
    serverRequests_.pop_front();
    queuedBytes_ -= StoredBytes(text);
    return text;
}

std::size_t BridgeContext::ServerRequestCount() {
    LockHold hold(serverRequestGuard_);
    return serverRequests_.size();
}

std::size_t BridgeContext::QueuedServerRequestBytes() {
    LockHold hold(serverRequestGuard_);
    return queuedBytes_;
}

void BridgeContext::ClearServerRequests() {
    std::deque<QueuedRequest> discarded;
    LockHold hold(serverRequestGuard_);
    discarded.swap(serverRequests_);
    queuedBytes_ = 0;
}

}  // namespace vtx
