// The one call frame every waiting export runs: a blank envelope with a fresh
// request ID, the export's own fields, delivery to the peer, and the wait for
// the answer carrying the same request ID.
#pragma once

#include <cstdint>
#include <utility>

#include "api/failure_log.h"
#include "support/heap.h"
#include "transport/bridge_context.h"
#include "transport/envelope.h"
#include "transport/filed_answer.h"
#include "transport/form_traits.h"
#include "transport/outbound_envelope.h"
#include "vtxbridge.h"

namespace vtx::api {

// The wait's budget: 50 pauses of 100 ms, as hosts know it.
inline constexpr std::uint32_t kAnswerBudgetMs = 50 * 100;
// Why an export fails when the library itself runs out of memory.
inline constexpr const char* kNoMemory = "no memory inside the library";

enum class Outcome {
    Answered,      // the peer answered; the answer is in the exchange
    Refused,       // a host text or pointer was refused before anything was sent
    NotDelivered,  // no peer, no bridge window, the peer returned 0, or no memory
    TimedOut,      // no answer within about five seconds (or the library is being unloaded)
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

inline bool SessionOpen() noexcept {
    const BridgeContext* context = BridgeContext::Get();
    return context != nullptr && context->session.open.load();
}

template <class F>
struct Exchange {
    Outcome outcome = Outcome::Refused;
    Owned<FiledAnswer<typename F::Char>> answer;
};

// Keeps the board's interest in a request ID for exactly as long as the
// export waits: registered before the send, since the peer may answer during
// it, and dropped on every way out, so a late answer is not kept.
template <class F>
class AwaitedAnswer {
public:
    AwaitedAnswer(AnswerBoard& board, const RequestIdText<typename F::Char>& requestId) noexcept
        : board_(board), requestId_(requestId), registered_(board.Expect<F>(requestId)) {}
    AwaitedAnswer(const AwaitedAnswer&) = delete;
    AwaitedAnswer& operator=(const AwaitedAnswer&) = delete;
    ~AwaitedAnswer() {
        if (registered_) board_.Forget<F>(requestId_);
    }

    bool Registered() const noexcept { return registered_; }
    [[nodiscard]] Owned<FiledAnswer<typename F::Char>> Wait() noexcept {
        auto answer = board_.Wait<F>(requestId_, kAnswerBudgetMs);
        if (answer) registered_ = false;  // taking it ended the registration
        return answer;
    }

private:
    AnswerBoard& board_;
    const RequestIdText<typename F::Char>& requestId_;
    bool registered_;
};

// Runs the frame for the request `kNarrowCode` names, in form F: `fill(envelope)`
// sets the export's fields and returns false when a host text does not fit
// (nothing is sent then).
template <class F, std::uint32_t kNarrowCode, class Fill>
[[nodiscard]] Exchange<F> RunExchange(Fill&& fill) noexcept {
    constexpr std::uint32_t messageCode = F::Code(kNarrowCode);
    // The bridge window files only the answers the message table lists as
    // waited for: an export waiting for any other would time out every time.
    static_assert(IsAwaitedRequest(messageCode, F::kForm),
                  "this export waits for an answer its code does not have in the message table "
                  "(transport/message_codes.h): list the code, in this form, as Awaited");
    Exchange<F> exchange;
    BridgeContext* const context = BridgeContext::Get();
    auto request = TakeBlankEnvelope<typename F::Envelope>();
    if (context == nullptr || !request) {
        exchange.outcome = Outcome::NotDelivered;
        LogLibraryFailure(messageCode, kNoMemory);
        return exchange;
    }
    F::NewRequestId(*request);
    if (!fill(*request)) return exchange;

    const auto requestId = RequestIdText<typename F::Char>::OfField(request->requestId);
    AwaitedAnswer<F> awaited(context->answers, requestId);
    if (!awaited.Registered()) {
        exchange.outcome = Outcome::NotDelivered;
        LogLibraryFailure(messageCode, kNoMemory);
        return exchange;
    }
    const LRESULT delivered = context->delivery.Send(messageCode, request.get(), sizeof(typename F::Envelope));
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
template <class F, std::uint32_t kNarrowCode>
[[nodiscard]] Exchange<F> RunExchange() noexcept {
    return RunExchange<F, kNarrowCode>([](typename F::Envelope&) { return true; });
}

}  // namespace vtx::api
