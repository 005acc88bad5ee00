#include "transport/bridge_context.h"

#include "transport/callback_worker.h"

namespace vtx {

BridgeContext::BridgeContext(const wchar_t* serverRequestLockName, const wchar_t* responseLockName)
    : serverRequestMutex_(serverRequestLockName), responseMutex_(responseLockName) {}

// Out of line so that WorkerControl is complete where the pointer dies.
BridgeContext::~BridgeContext() = default;

BridgeContext& GetBridgeContext() {
    // A function-local static: one thread constructs, concurrent first callers
    // wait for it, and a construction that throws is retried by the next call.
    static BridgeContext context;
    return context;
}

std::atomic<std::int32_t>& InitializedFlag() {
    static std::atomic<std::int32_t> initialized{0};
    return initialized;
}

}  // namespace vtx
