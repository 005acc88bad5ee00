// The host's business traffic: requests with their answers, the host's
// answers to server requests, and the collection of queued server requests.
#include <cstdint>

#include "api/buffer_answer.h"
#include "api/call_frame.h"
#include "api/host_text.h"
#include "api/result_text.h"
#include "transport/bridge_context.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx::api {
namespace {

// The library-owned answers of vtx_sendrequest and vtx_sendrequestw; each
// pointer handed out stays valid until the library is unloaded.
ResultText<char> sendRequestResult;
ResultText<WideChar> sendRequestResultW;

template <class F>
auto PayloadFiller(const typename F::Char* text, std::int32_t length) {
    return [text, length](typename F::Envelope& request) {
        request.length = length;
        return CopyHostText(request.payload, text);
    };
}

template <class F>
ResultText<typename F::Char>& SendRequestResult();
template <>
ResultText<char>& SendRequestResult<NarrowForm>() { return sendRequestResult; }
template <>
ResultText<WideChar>& SendRequestResult<WideForm>() { return sendRequestResultW; }

template <class F>
const typename F::Char* SendRequest(const typename F::Char* text, int length) {
    auto& result = SendRequestResult<F>();
    if (HostTextLength(text, kPayloadUnits) >= kPayloadUnits) return result.template SetError<F>(VTX_RESULT_DOES_NOT_FIT);
    if (!SessionOpen()) return result.template SetError<F>(VTX_RESULT_NOT_OPEN);
    const Exchange<F> exchange = RunExchange<F, code::kSendRequest>(PayloadFiller<F>(text, length));
    if (exchange.outcome != Outcome::Answered) return result.template SetError<F>(ResultCodeOf(exchange.outcome));
    return result.Set(exchange.answer->payload.CStr(), exchange.answer->payload.Length());
}

template <class F>
int SendRequestParam(const typename F::Char* text, int length, typename F::Char* buffer, unsigned int* bufferLength) {
    if (buffer == nullptr || bufferLength == nullptr) return VTX_RESULT_DOES_NOT_FIT;
    if (HostTextLength(text, kPayloadUnits) >= kPayloadUnits) return VTX_RESULT_DOES_NOT_FIT;
    return AnswerIntoBuffer<F, code::kSendRequestParam>(PayloadFiller<F>(text, length), buffer, bufferLength);
}

template <class F>
int SendResponse(const typename F::Char* text) {
    const std::size_t textLength = HostTextLength(text, kPayloadUnits);
    if (textLength >= kPayloadUnits) return VTX_RESULT_DOES_NOT_FIT;
    if (!SessionOpen()) return VTX_RESULT_NOT_OPEN;
    // The peer learns the size of its copy: the text and its terminator.
    const auto fill = PayloadFiller<F>(text, static_cast<std::int32_t>(textLength + 1));
    const Exchange<F> exchange = RunExchange<F, code::kSendResponse>(fill);
    if (exchange.outcome != Outcome::Answered) return ResultCodeOf(exchange.outcome);
    return exchange.answer->status;
}

// Hands over the oldest server request. Unlike the other buffers,
// *bufferLength reports the length without the terminator, and a text that
// does not fit stays queued (in front) for the next call.
template <class F>
int GetRequestMessage(typename F::Char* buffer, unsigned int* bufferLength) {
    if (buffer == nullptr || bufferLength == nullptr) return VTX_RESULT_DOES_NOT_FIT;
    if (!SessionOpen()) return VTX_RESULT_NOT_OPEN;
    BridgeContext& context = *BridgeContext::Get();
    if (context.worker.SessionOpen()) return VTX_RESULT_NOTHING_QUEUED;

    // Unanswered; the queue is read either way, whether the peer took the
    // poll or not. Without memory for the envelope the poll is skipped and
    // the queue read all the same.
    if (auto poll = TakeBlankEnvelope<typename F::Envelope>()) {
        static_cast<void>(context.delivery.Send(F::kPollCode, poll.get(), sizeof(typename F::Envelope)));
    }
    Owned<QueuedText> oldest = context.serverRequests.TakeOldest();
    if (!oldest) return VTX_RESULT_NOTHING_QUEUED;
    const std::size_t length = F::QueuedLength(*oldest);
    if (*bufferLength <= length) {
        context.serverRequests.PutBackOldest(std::move(oldest));
        return VTX_RESULT_DOES_NOT_FIT;
    }
    F::WriteQueued(*oldest, buffer, length);
    *bufferLength = static_cast<unsigned int>(length);
    return VTX_RESULT_OK;
}

}  // namespace
}  // namespace vtx::api

using namespace vtx;
using namespace vtx::api;

extern "C" {

const char* VTX_CALL vtx_sendrequest(const char* text, int length) { return SendRequest<NarrowForm>(text, length); }

const wchar_t* VTX_CALL vtx_sendrequestw(const wchar_t* text, int length) {
    return SendRequest<WideForm>(text, length);
}

int VTX_CALL vtx_sendrequestparam(const char* text, int length, char* buffer, unsigned int* bufferLength) {
    return SendRequestParam<NarrowForm>(text, length, buffer, bufferLength);
}

int VTX_CALL vtx_sendrequestparamw(const wchar_t* text, int length, wchar_t* buffer, unsigned int* bufferLength) {
    return SendRequestParam<WideForm>(text, length, buffer, bufferLength);
}

// `length` belongs to the signature hosts call; the library derives it.
int VTX_CALL vtx_sendresponse(const char* text, int /*length*/) { return SendResponse<NarrowForm>(text); }

int VTX_CALL vtx_sendresponsew(const wchar_t* text, int /*length*/) { return SendResponse<WideForm>(text); }

int VTX_CALL vtx_getrequestmessage(char* buffer, unsigned int* bufferLength) {
    return GetRequestMessage<NarrowForm>(buffer, bufferLength);
}

int VTX_CALL vtx_getrequestmessagew(wchar_t* buffer, unsigned int* bufferLength) {
    return GetRequestMessage<WideForm>(buffer, bufferLength);
}

}  // extern "C"
