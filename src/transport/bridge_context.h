// The library's components, owned by one object per process: built on first
// use from any thread, torn down at unload once its threads have ended.
//
//   answers         the answer board: filed answers and the exports' waits
//   serverRequests  the server-request queue, bounded in texts and bytes
//   bridgeWindow    the bridge window and the loop thread that owns it
//   delivery        finding the peer, the one-box gate, the send
//   worker          the callback worker thread
//
// docs/internals.md lists every library thread and every wait of the
// library, with its bound and what ends it at unload.
#pragma once

#include <cstddef>

#include "support/named_mutex_presence.h"
#include "support/stop_signal.h"
#include "transport/answer_board.h"
#include "transport/bridge_window.h"
#include "transport/callback_worker.h"
#include "transport/peer_delivery.h"
#include "transport/server_request_queue.h"
#include "transport/session_state.h"

namespace vtx {

class BridgeContext {
public:
    // The queue's bounds: a host that stops collecting must not let a busy
    // peer exhaust its memory, neither with long texts nor with many empty
    // ones (each costs its bookkeeping, and a genuine request would wait
    // behind them all).
    static constexpr std::size_t kQueuedTextsBound = 65536;
    static constexpr std::size_t kQueuedBytesBound = 64u * 1024u * 1024u;

    // The process's context, built on first use; null only when no memory
    // was left to build it (the next call tries again). For the exports: on
    // any host thread, and on the worker's when the host's callback calls an
    // export, but never on the loop thread, whose window procedure keeps
    // its own object (checked in debug builds).
    [[nodiscard]] static BridgeContext* Get() noexcept;
    // At unload (not at process exit): ends every wait and thread of the
    // library, then releases the context, unless a thread did not end in
    // time (a host callback that does not return), which may still use it.
    static void Unload() noexcept;

    BridgeContext() noexcept = default;
    ~BridgeContext() = default;
    BridgeContext(const BridgeContext&) = delete;
    BridgeContext& operator=(const BridgeContext&) = delete;

    SessionState session;
    StopSignal stop;
    AnswerBoard answers;
    ServerRequestQueue serverRequests{kQueuedTextsBound, kQueuedBytesBound};
    BridgeWindow bridgeWindow{answers, serverRequests, worker, stop};
    PeerDelivery delivery{bridgeWindow, session, stop};
    CallbackWorker worker{delivery, serverRequests, session};

private:
    // "Response" and "ServerRequest": other programs of the session may look
    // for them, so they exist while the context does; nothing waits on them.
    NamedMutexPresence responseMutex_{L"Response"};
    NamedMutexPresence serverRequestMutex_{L"ServerRequest"};
};

}  // namespace vtx
