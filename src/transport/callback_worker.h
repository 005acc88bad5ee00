// The callback worker: the library thread that hands server requests to the
// host's callback, and only inside the callback session they belong to.
//
// While a callback session is open it hands over every queued text the
// moment it arrives, oldest first, one call each, each exactly once, and
// polls the peer at least every 100 ms (never while the callback runs).
// Outside a session it only waits to be woken: no poll, no callback, no box.
#pragma once

#include <cstdint>

#include "support/library_thread.h"
#include "support/sync.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx {

class PeerDelivery;
class QueuedText;
class ServerRequestQueue;
struct SessionState;

class CallbackWorker {
public:
    CallbackWorker(PeerDelivery& delivery, ServerRequestQueue& serverRequests, const SessionState& session) noexcept;
    CallbackWorker(const CallbackWorker&) = delete;
    CallbackWorker& operator=(const CallbackWorker&) = delete;

    // Opens the callback session: `callback` gets every text in `form`
    // (narrow for vtx_init, wide for vtx_initw). The thread starts on first
    // use (and again should it have ended); later sessions reuse it. False
    // when no thread could be started: nothing would ever deliver.
    [[nodiscard]] bool OpenSession(VtxServerRequestCallback callback, Form form) noexcept;
    // Closes the session (a successful vtx_deinit): no poll and no callback
    // follows, and a callback under way has returned, unless this is called
    // from inside it. Texts stay queued for the next session.
    void CloseSession() noexcept;
    bool SessionOpen() noexcept;
    // A text was queued.
    void Wake() noexcept { thread_.Wake(); }
    // At unload: ends the thread, answering a run-the-peer-first box it
    // shows, and waits at most five seconds for a callback under way.
    [[nodiscard]] bool Stop() noexcept { return thread_.Stop(); }

private:
    enum class Activity { Poll, Callback };
    enum class Handover { Done, NothingQueued, NoSession, NoMemory };
    struct Registration {
        VtxServerRequestCallback callback = nullptr;
        Form form = Form::Narrow;
    };
    class Busy;

    static void Run(LibraryThread& thread, void* self) noexcept;
    void Serve(LibraryThread& thread) noexcept;
    void PollOnce() noexcept;
    Handover HandOverOldest() noexcept;

    // Marks the worker busy with `activity` and gives the session's
    // callback; false, marking nothing, when no session is open.
    bool Begin(Activity activity, Registration* registration) noexcept;
    void End(Activity activity) noexcept;
    bool BusyForCloser() noexcept;

    PeerDelivery& delivery_;
    ServerRequestQueue& serverRequests_;
    const SessionState& session_;
    LibraryThread thread_;

    Lock guard_;
    ConditionVariable idle_;
    bool open_ = false;
    bool polling_ = false;
    bool calling_ = false;
    Registration registration_;
};

}  // namespace vtx
