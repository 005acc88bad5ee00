// Opening and closing a session: vtx_init, vtx_initw, vtx_deinit.
#include "api/call_frame.h"
#include "api/host_text.h"
#include "support/bridge_path.h"
#include "transport/bridge_context.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx::api {
namespace {

template <class F>
int OpenSession(int initValue, const typename F::Char* initText, int pollMode, VtxServerRequestCallback callback) {
    // A refused text changes nothing: no flag, no registry value, no message.
    if (HostTextLength(initText, kInitTextUnits) >= kInitTextUnits) return VTX_RESULT_DOES_NOT_FIT;
    BridgeContext* const context = BridgeContext::Get();
    if (context == nullptr) {
        LogLibraryFailure(F::Code(code::kInit), kNoMemory);
        return VTX_RESULT_NOT_DELIVERED;
    }
    if (context->session.open.load()) return VTX_RESULT_ALREADY_OPEN;

    context->session.sendForm = F::kForm;
    PublishBridgePath();

    const Exchange<F> exchange = RunExchange<F, code::kInit>([&](typename F::Envelope& request) {
        request.initValue = initValue;
        request.pollMode = pollMode;
        return CopyHostText(request.initText, initText);
    });
    if (exchange.outcome != Outcome::Answered) return ResultCodeOf(exchange.outcome);

    const int status = exchange.answer->status;
    if (status != VTX_RESULT_OK) return status;
    if (pollMode == 0) {
        // Server requests need a way to the host: without a callback the
        // session is not opened, although the peer accepted it.
        if (callback == nullptr) return VTX_RESULT_NO_CALLBACK;
        // Likewise when no thread could be started to deliver them.
        if (!context->worker.OpenSession(callback, F::kForm)) {
            LogLibraryFailure(F::Code(code::kInit), "the callback worker could not be started");
            return VTX_RESULT_NOT_DELIVERED;
        }
    }
    context->session.open = true;
    return VTX_RESULT_OK;
}

int CloseSession() {
    const Exchange<NarrowForm> exchange = RunExchange<NarrowForm, code::kDeinit>();
    if (exchange.outcome != Outcome::Answered) return ResultCodeOf(exchange.outcome);

    const int status = exchange.answer->status;
    if (status == VTX_RESULT_OK) {
        BridgeContext* const context = BridgeContext::Get();
        // First, so that no callback runs once this returns: a plug-in may
        // unload its code right after.
        context->worker.CloseSession();
        context->session.sendForm = Form::Wide;
        context->serverRequests.Clear();
        context->session.open = false;
    }
    return status;
}

}  // namespace
}  // namespace vtx::api

using namespace vtx;
using namespace vtx::api;

extern "C" {

int VTX_CALL vtx_init(int initValue, const char* initText, int pollMode, VtxServerRequestCallback callback) {
    return OpenSession<NarrowForm>(initValue, initText, pollMode, callback);
}

int VTX_CALL vtx_initw(int initValue, const wchar_t* initText, int pollMode, VtxServerRequestCallback callback) {
    return OpenSession<WideForm>(initValue, initText, pollMode, callback);
}

int VTX_CALL vtx_deinit(void) { return CloseSession(); }

}  // extern "C"
