// Login, the alive check and the bridge ID.
#include "api/call_frame.h"
#include "api/host_text.h"
#include "api/result_text.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx::api {
namespace {

// The library-owned answer of vtx_getbridgeid.
ResultText<char> bridgeIdResult;

template <class F>
int Login(const typename F::Char* loginText1, const typename F::Char* loginText2) {
    if (HostTextLength(loginText1, kLoginTextUnits) >= kLoginTextUnits ||
        HostTextLength(loginText2, kLoginTextUnits) >= kLoginTextUnits) {
        return VTX_RESULT_DOES_NOT_FIT;
    }
    const Exchange<F> exchange = RunExchange<F, code::kLogin>([&](typename F::Envelope& request) {
        return CopyHostText(request.loginText1, loginText1) && CopyHostText(request.loginText2, loginText2);
    });
    if (exchange.outcome != Outcome::Answered) return ResultCodeOf(exchange.outcome);
    return exchange.answer->status;
}

int IsAlive() {
    if (!SessionOpen()) return VTX_RESULT_NOT_OPEN;
    const Exchange<NarrowForm> exchange = RunExchange<NarrowForm, code::kIsAlive>();
    if (exchange.outcome != Outcome::Answered) return ResultCodeOf(exchange.outcome);
    return exchange.answer->status;
}

// No answer is awaited: the peer's window procedure result is the answer.
// 0 is also what a refused text and a failure inside the library give.
int SetBridgeId(const char* bridgeId) {
    BridgeContext* const context = BridgeContext::Get();
    auto request = TakeBlankEnvelope<MessageEnvelope>();
    if (context == nullptr || !request) {
        LogLibraryFailure(code::kSetBridgeId, kNoMemory);
        return 0;
    }
    NarrowForm::NewRequestId(*request);
    if (!CopyHostText(request->payload, bridgeId)) return 0;
    return static_cast<int>(context->delivery.Send(code::kSetBridgeId, request.get(), sizeof(MessageEnvelope)));
}

const char* GetBridgeId() {
    if (!SessionOpen()) return bridgeIdResult.SetError<NarrowForm>(VTX_RESULT_NOT_OPEN);
    const Exchange<NarrowForm> exchange = RunExchange<NarrowForm, code::kGetBridgeId>();
    if (exchange.outcome != Outcome::Answered) return bridgeIdResult.SetError<NarrowForm>(ResultCodeOf(exchange.outcome));
    // The status is not looked at: whatever text the peer sent is the ID.
    return bridgeIdResult.Set(exchange.answer->payload.CStr(), exchange.answer->payload.Length());
}

}  // namespace
}  // namespace vtx::api

using namespace vtx;
using namespace vtx::api;

extern "C" {

int VTX_CALL vtx_login(const char* loginText1, const char* loginText2) {
    return Login<NarrowForm>(loginText1, loginText2);
}

// The first argument is part of the signature hosts call and is not read.
int VTX_CALL vtx_loginw(int /*reserved*/, const wchar_t* loginText1, const wchar_t* loginText2) {
    return Login<WideForm>(loginText1, loginText2);
}

int VTX_CALL vtx_iswcalive(void) { return IsAlive(); }

int VTX_CALL vtx_setbridgeid(const char* bridgeId) { return SetBridgeId(bridgeId); }

const char* VTX_CALL vtx_getbridgeid(void) { return GetBridgeId(); }

}  // extern "C"
