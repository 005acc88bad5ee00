#include "transport/bridge_context.h"

#include <windows.h>

#include "support/thread_check.h"
#include "transport/outbound_envelope.h"

namespace vtx {
namespace {

// Set once by Get, under the one-time initialisation; read by Unload after
// every host call has returned.
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;
BridgeContext* g_context = nullptr;

BOOL CALLBACK Build(PINIT_ONCE, PVOID, PVOID*) {
    Owned<BridgeContext> context = MakeOwned<BridgeContext>();
    if (!context) return FALSE;  // not initialised: the next call tries again
    g_context = context.release();
    return TRUE;
}

}  // namespace

BridgeContext* BridgeContext::Get() noexcept {
    BridgeContext* const context = ::InitOnceExecuteOnce(&g_once, Build, nullptr, nullptr) ? g_context : nullptr;
    VTX_ASSERT_THREAD(context == nullptr || !context->bridgeWindow.OnLoopThread());
    return context;
}

void BridgeContext::Unload() noexcept {
    BridgeContext* const context = g_context;
    if (context != nullptr) {
        // First no new send, box or pause, and no answer wait, so that an
        // export the host's callback runs on the worker's thread returns at
        // once with its failure result, and the worker with it.
        context->stop.Raise();
        context->answers.StopWaits();
        const bool workerEnded = context->worker.Stop();
        const bool loopEnded = context->bridgeWindow.Stop();
        if (!workerEnded || !loopEnded) return;
        g_context = nullptr;
        DestroyAndFree<BridgeContext>{}(context);
    }
    ReleaseSpareEnvelopes();
}

}  // namespace vtx
