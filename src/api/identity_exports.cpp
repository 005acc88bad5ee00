// Login, the alive check and the bridge ID.
#include <string>

#include "api/call_frame.h"
#include "api/export_guard.h"
#include "api/host_text.h"
#include "api/result_string.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx::api {
namespace {

// The library-owned answer of vtx_getbridgeid.
std::string bridgeIdResult;

template <class F>
int Login(const typename F::Char* loginText1, const typename F::Char* loginText2) {
    if (HostTextLength(loginText1, kLoginTextUnits) >= kLoginTextUnits ||
        HostTextLength(loginText2, kLoginTextUnits) >= kLoginTextUnits) {
        return VTX_RESULT_DOES_NOT_FIT;
    }
    const Exchange<F> exchange = RunExchange<F>(F::Code(code::kLogin), [&](typename F::Envelope& request) {
        return CopyHostText(request.loginText1, loginText1) && CopyHostText(request.loginText2, loginText2);
    });
    if (exchange.outcome != Outcome::Answered) return ResultCodeOf(exchange.outcome);
    return exchange.answer->status;
}

int IsAlive() {
    if (!SessionOpen()) return VTX_RESULT_NOT_OPEN;
    const Exchange<NarrowForm> exchange = RunExchange<NarrowForm>(code::kIsAlive);
    if (exchange.outcome != Outcome::Answered) return ResultCodeOf(exchange.outcome);
    return exchange.answer->status;
}

// No answer is awaited: the peer's window procedure result is the answer.
int SetBridgeId(const char* bridgeId) {
    auto request = TakeBlankEnvelope<MessageEnvelope>();
    NewRequestId(*request);
    if (!CopyHostText(request->payload, bridgeId)) return 0;
    return static_cast<int>(SendEnvelope<NarrowForm>(code::kSetBridgeId, *request));
}

const char* GetBridgeId() {
    return GuardedText<NarrowForm>(bridgeIdResult, [] {
        ReserveForAnyPayload(bridgeIdResult);
        if (!SessionOpen()) return MakeErrorText(VTX_RESULT_NOT_OPEN, bridgeIdResult);
        const Exchange<NarrowForm> exchange = RunExchange<NarrowForm>(code::kGetBridgeId);
        if (exchange.outcome != Outcome::Answered) {
            return MakeErrorText(ResultCodeOf(exchange.outcome), bridgeIdResult);
        }
        // The status is not looked at: whatever text the peer sent is the ID.
        bridgeIdResult.assign(exchange.answer->payload);  // in place: the address stays
    });
}

}  // namespace
}  // namespace vtx::api

using namespace vtx;
using namespace vtx::api;

extern "C" {

int VTX_CALL vtx_login(const char* loginText1, const char* loginText2) {
    return GuardedCode([&] { return Login<NarrowForm>(loginText1, loginText2); });
}

// The first argument is part of the signature hosts call and is not read.
int VTX_CALL vtx_loginw(int /*reserved*/, const wchar_t* loginText1, const wchar_t* loginText2) {
    return GuardedCode([&] { return Login<WideForm>(loginText1, loginText2); });
}

int VTX_CALL vtx_iswcalive(void) {
    return GuardedCode([] { return IsAlive(); });
}

int VTX_CALL vtx_setbridgeid(const char* bridgeId) {
    try {
        return SetBridgeId(bridgeId);
    } catch (...) {
        return 0;  // not delivered
    }
}

const char* VTX_CALL vtx_getbridgeid(void) {
    return GetBridgeId();
}

}  // extern "C"
