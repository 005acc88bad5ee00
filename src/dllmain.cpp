// Load and unload of vtxbridge.dll.
#include <windows.h>

#include "support/runtime_threads.h"
#include "transport/bridge_context.h"
#include "transport/bridge_window.h"

namespace {
// How long an unload waits for each thread. The worker may be inside the
// host's callback; the loop only has to notice a posted message.
constexpr DWORD kWorkerStopBoundMs = 5000;
constexpr DWORD kLoopStopBoundMs = 2000;

void Unload() {
    try {
        vtx::BridgeContext& context = vtx::GetBridgeContext();
        // First, so that the worker, even inside an export the host's
        // callback called, meets no wait it would have to sit out.
        context.BeginUnload();
        context.StopCallbackWorker(kWorkerStopBoundMs);
    } catch (...) {
    }
    vtx::StopMessageLoop(kLoopStopBoundMs);
    // Last: the library's threads are gone, and what runs after DllMain (the
    // static destructors, the unwinder's deregistration) neither throws nor
    // waits on a runtime lock.
    vtx::ReleaseRuntimeThreadResources();
}
}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // The loop thread starts with the first use, not here: see
            // EnsureMessageLoopRunning.
            break;
        case DLL_PROCESS_DETACH:
            // At process exit (reserved non-null) the other threads are gone
            // already: nothing to stop, and no time to spend.
            if (reserved == nullptr) Unload();
            break;
        default:
            break;
    }
    return TRUE;
}
