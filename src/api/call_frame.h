// The one call frame every waiting export runs: a blank envelope with a fresh
// request ID, the export's own fields, delivery to the peer, and the wait for
// the answer carrying the same request ID.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "api/failure_log.h"
#include "transport/bridge_context.h"
#include "transport/envelope.h"
#include "transport/form_traits.h"
#include "transport/outbound_envelope.h"
#include "transport/request_id.h"
#include "vtxbridge.h"

namespace vtx::api {

enum class Outcome {
    Answered,      // the peer answered; the answer is in the exchange
    Refused,       // a host text or pointer was refused before anything was sent
    NotDelivered,  // no peer, no bridge window, or the peer returned 0
    TimedOut,      // no answer within about five seconds
};

// The result code an int-returning export reports for an outcome other than
// Answered.
constexpr int ResultCodeOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::Refused:
            return VTX_RESULT_DOES_NOT_FIT;
        case Outcome::NotDelivered:
            return VTX_RESULT_NOT_DELIVERED;
        case Outcome::TimedOut:
            return VTX_RESULT_TIMED_OUT;
        case Outcome::Answered:
            break;
    }
    return VTX_RESULT_OK;
}

inline bool SessionOpen() { return InitializedFlag().load() == 1; }

template <class F>
struct Exchange {
    Outcome outcome = Outcome::Refused;
    std::unique_ptr<typename F::Answer> answer;
};

template <class F>
void FillRequestId(typename F::Envelope& envelope) {
    if constexpr (F::kForm == Form::Narrow) {
        NewRequestId(envelope);
    } else {
        NewRequestIdW(envelope);
    }
}

template <class F>
LRESULT SendEnvelope(std::uint32_t messageCode, typename F::Envelope& envelope) {
    COPYDATASTRUCT data{};
    data.dwData = messageCode;
    data.cbData = sizeof(typename F::Envelope);
    data.lpData = &envelope;
    return GetBridgeContext().SendMessageCopyData(&data);
}

// Keeps the table's interest in a request ID for exactly as long as the
// export waits: registered before the send, since the peer may answer during
// it, and dropped on every way out, so a late answer is not kept.
template <class F>
class AwaitedAnswer {
public:
    explicit AwaitedAnswer(typename F::String requestId) : requestId_(std::move(requestId)) {
        GetBridgeContext().Expect<F>(requestId_);
    }
    AwaitedAnswer(const AwaitedAnswer&) = delete;
    AwaitedAnswer& operator=(const AwaitedAnswer&) = delete;
    ~AwaitedAnswer() {
        if (!taken_) GetBridgeContext().Remove<F>(requestId_);
    }

    std::unique_ptr<typename F::Answer> Wait() {
        int timedOut = 0;
        auto answer = GetBridgeContext().Wait<F>(&timedOut, requestId_);
        taken_ = answer != nullptr;
        return answer;
    }

private:
    typename F::String requestId_;
    bool taken_ = false;
};

// Runs the frame: `fill(envelope)` sets the export's fields and returns false
// when a host text does not fit (nothing is sent then).
template <class F, class Fill>
Exchange<F> RunExchange(std::uint32_t messageCode, Fill&& fill) {
    Exchange<F> exchange;
    auto request = TakeBlankEnvelope<typename F::Envelope>();
    FillRequestId<F>(*request);
    if (!fill(*request)) return exchange;

    typename F::String requestId = FieldText(request->requestId);
    AwaitedAnswer<F> awaited(requestId);
    const LRESULT delivered = SendEnvelope<F>(messageCode, *request);
    // The peer copied what it keeps while the send ran: the envelope goes
    // back to its spare before the wait.
    request.reset();
    if (delivered == 0) {
        exchange.outcome = Outcome::NotDelivered;
        LogFailedExchange(messageCode, VTX_RESULT_NOT_DELIVERED, requestId);
        return exchange;
    }
    exchange.answer = awaited.Wait();
    exchange.outcome = exchange.answer ? Outcome::Answered : Outcome::TimedOut;
    if (!exchange.answer) LogFailedExchange(messageCode, VTX_RESULT_TIMED_OUT, requestId);
    return exchange;
}

// For requests that carry no fields of their own.
template <class F>
Exchange<F> RunExchange(std::uint32_t messageCode) {
    return RunExchange<F>(messageCode, [](typename F::Envelope&) { return true; });
}

}  // namespace vtx::api
