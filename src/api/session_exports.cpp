// Opening and closing a session: vtx_init, vtx_initw, vtx_deinit.
#include "api/call_frame.h"
#include "api/export_guard.h"
#include "api/host_text.h"
#include "support/bridge_path.h"
#include "transport/bridge_context.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx::api {
namespace {

template <class F>
int OpenSession(int initValue, const typename F::Char* initText, int pollMode, ServerRequestCallback callback) {
    // A refused text changes nothing: no flag, no registry value, no message.
    if (HostTextLength(initText, kInitTextUnits) >= kInitTextUnits) return VTX_RESULT_DOES_NOT_FIT;
    if (InitializedFlag().load() == 1) return VTX_RESULT_ALREADY_OPEN;

    BridgeContext& context = GetBridgeContext();
    context.wideMode = F::kForm == Form::Wide ? 1 : 0;
    PublishBridgePath();

    const Exchange<F> exchange = RunExchange<F>(F::Code(code::kInit), [&](typename F::Envelope& request) {
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
        if (!context.StartCallbackWorker(callback, F::kForm)) {
            LogLibraryFailure(ExportOfCode(F::Code(code::kInit)), "the callback worker could not be started");
            return VTX_RESULT_NOT_DELIVERED;
        }
    }
    InitializedFlag() = 1;
    return VTX_RESULT_OK;
}

int CloseSession() {
    const Exchange<NarrowForm> exchange = RunExchange<NarrowForm>(code::kDeinit);
    if (exchange.outcome != Outcome::Answered) return ResultCodeOf(exchange.outcome);

    const int status = exchange.answer->status;
    if (status == VTX_RESULT_OK) {
        BridgeContext& context = GetBridgeContext();
        context.wideMode = -1;
        context.ClearServerRequests();
        InitializedFlag() = 0;
    }
    return status;
}

}  // namespace
}  // namespace vtx::api

using namespace vtx;
using namespace vtx::api;

extern "C" {

int VTX_CALL vtx_init(int initValue, const char* initText, int pollMode, ServerRequestCallback callback) {
    return GuardedCode([&] { return OpenSession<NarrowForm>(initValue, initText, pollMode, callback); });
}

int VTX_CALL vtx_initw(int initValue, const wchar_t* initText, int pollMode, ServerRequestCallback callback) {
    return GuardedCode([&] { return OpenSession<WideForm>(initValue, initText, pollMode, callback); });
}

int VTX_CALL vtx_deinit(void) {
    return GuardedCode([] { return CloseSession(); });
}

}  // extern "C"
