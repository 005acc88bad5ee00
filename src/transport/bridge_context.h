// The library's one piece of shared state, reached through GetBridgeContext
// from the exports, the bridge window's procedure and the callback worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "support/process_lock.h"
#include "support/sync.h"
#include "transport/envelope.h"
#include "transport/form_traits.h"
#include "transport/response_table.h"
#include "vtxbridge.h"

namespace vtx {

struct WorkerControl;

// A queued server request. The sequence number lets a collector remove
// exactly the text it handed over, even if the queue changed meanwhile.
struct QueuedRequest {
    std::uint64_t sequence = 0;
    WideString text;
};

class BridgeContext {
public:
    // Names of the named mutexes the library keeps open (see
    // NamedMutexPresence). Other names serve tests only.
    static constexpr const wchar_t* kServerRequestLockName = L"ServerRequest";
    static constexpr const wchar_t* kResponseLockName = L"Response";

    BridgeContext() : BridgeContext(kServerRequestLockName, kResponseLockName) {}
    BridgeContext(const wchar_t* serverRequestLockName, const wchar_t* responseLockName);
    ~BridgeContext();
    BridgeContext(const BridgeContext&) = delete;
    BridgeContext& operator=(const BridgeContext&) = delete;

    // --- Outbound delivery ---------------------------------------------------
    // The bridge window of this process: cached after the first lookup; up to
    // 50 attempts 100 ms apart before that. Null when none was found.
    HWND GetWindowHandle();
    // Sends one WM_COPYDATA to the peer's window with the bridge window as
    // sender. Returns the peer's window procedure result, or 0 when nothing
    // was sent (the peer missing shows the run-the-peer-first message box).
    LRESULT SendMessageCopyData(const COPYDATASTRUCT* data);

    // --- Answers -------------------------------------------------------------
    // Called on the loop thread with a decoded answer; kept only if some
    // export waits for its request ID.
    void StoreResponse(std::unique_ptr<Answer> answer) { Store<NarrowForm>(std::move(answer)); }
    void StoreResponseW(std::unique_ptr<AnswerW> answer) { Store<WideForm>(std::move(answer)); }
    bool HasResponse(const std::string& requestId) { return Has<NarrowForm>(requestId); }
    bool HasResponseW(const WideString& requestId) { return Has<WideForm>(requestId); }
    // Registers an export's interest in `requestId`; call before sending.
    void ExpectResponse(const std::string& requestId) { Expect<NarrowForm>(requestId); }
    void ExpectResponseW(const WideString& requestId) { Expect<WideForm>(requestId); }
    // Waits about five seconds (at most 50 pauses of up to 100 ms, each cut
    // short the moment an answer is filed) for the answer and hands it over,
    // ending the registration. Null with *timedOut = 1 when it did not come;
    // the registration then stays until RemoveResponse. An unload ends the
    // wait at once, as if the time were up.
    std::unique_ptr<Answer> WaitResponse(int* timedOut, const std::string& requestId) {
        return Wait<NarrowForm>(timedOut, requestId);
    }
    std::unique_ptr<AnswerW> WaitResponseW(int* timedOut, const WideString& requestId) {
        return Wait<WideForm>(timedOut, requestId);
    }
    // Ends a registration that got no answer; a later answer is then dropped.
    void RemoveResponse(const std::string& requestId) { Remove<NarrowForm>(requestId); }
    void RemoveResponseW(const WideString& requestId) { Remove<WideForm>(requestId); }

    template <class F> void Store(std::unique_ptr<typename F::Answer> answer);
    template <class F> bool Has(const typename F::String& requestId);
    template <class F> void Expect(const typename F::String& requestId);
    template <class F>
    std::unique_ptr<typename F::Answer> Wait(int* timedOut, const typename F::String& requestId);
    template <class F> void Remove(const typename F::String& requestId);
    // Registered keys still held; for tests of the memory bound.
    std::size_t PendingResponseCount();

    // --- Server requests -----------------------------------------------------
    // At most this much queued text, counted in stored UTF-16 bytes: a host
    // that stops collecting must not let a busy peer exhaust its memory.
    static constexpr std::size_t kServerRequestQueueBytes = 64u * 1024u * 1024u;
    // Queues the text and wakes the callback worker. False, with nothing
    // kept, when the text would take the queue past its bound.
    bool PushServerRequest(WideString text);
    // The oldest text, the queue unchanged; nothing when the queue is empty.
    std::optional<QueuedRequest> FrontServerRequest();
    // Removes the oldest text; an empty queue stays unchanged.
    void PopServerRequest();
    // Removes the oldest text only if it is still the one handed over.
    bool PopServerRequest(std::uint64_t sequence);
    // Removes and returns the oldest text in one step.
    std::optional<WideString> TakeServerRequest();
    std::size_t ServerRequestCount();
    // Bytes of UTF-16 text queued now, as counted against the bound.
    std::size_t QueuedServerRequestBytes();
    void ClearServerRequests();
    // Holds the queue's lock until the hold goes: lets a test see that every
    // queue operation waits for it.
    [[nodiscard]] auto HoldServerRequestLockForTest() { return std::unique_lock<Lock>(serverRequestGuard_); }

    // --- Callback worker -----------------------------------------------------
    // Opens the callback session: the worker hands every queued text to
    // `callback` as it arrives, in the form `callbackForm` (narrow for
    // vtx_init, wide for vtx_initw), and polls at least every 100 ms. The
    // thread is started on first use; later sessions reuse it.
    // False when no thread could be started: nothing would ever deliver.
    bool StartCallbackWorker(ServerRequestCallback callback, Form callbackForm);
    // Ends the callback session (a successful vtx_deinit): no poll and no
    // callback follows, and a callback under way has returned, unless this
    // is called from inside it. Texts stay queued for the next session.
    void EndCallbackSession();
    // Stops the worker at unload. Waits at most `bound` milliseconds for it.
    void StopCallbackWorker(DWORD bound);

    // --- Unload ----------------------------------------------------------------
    // The unload's first step. From then on no delivery, no message box, no
    // answer wait and no worker starts, and an answer wait under way ends at
    // once: an export the host's callback runs on the worker's thread returns
    // its failure into the callback, which returns into the worker, which can
    // then end before the library's code goes away.
    void BeginUnload();
    bool Unloading() const { return unloading_.load() != 0; }

    // --- Plain shared words ------------------------------------------------------
    std::atomic<HWND> bridgeWindow{nullptr};
    // 0 after vtx_init, 1 after vtx_initw, -1 with no session form.
    std::atomic<std::int32_t> wideMode{-1};
    // 1 while a callback session is open: the polling exports then refuse.
    std::atomic<std::int32_t> callbackMode{0};

    bool HoldsNamedMutexes() const { return serverRequestMutex_.IsOpen() && responseMutex_.IsOpen(); }

private:
    template <class F> ResponseTable<typename F::Answer>& TableOf();
    // Tells the worker a text arrived; nothing when there is none.
    void WakeCallbackWorker();

    // The server-request queue, each operation one short hold of its guard.
    Lock serverRequestGuard_;
    std::deque<QueuedRequest> serverRequests_;
    std::size_t queuedBytes_ = 0;
    std::uint64_t nextSequence_ = 1;
    // The answer tables, their registrations and the waiters' wake-up, all
    // under `responseGuard_`, held only for the table step.
    ResponseTable<Answer> responses_;
    ResponseTable<AnswerW> responsesW_;
    Lock responseGuard_;
    ConditionVariable answerFiled_;
    std::uint64_t answersFiled_ = 0;
    Lock workerGuard_;
    std::shared_ptr<WorkerControl> worker_;
    // Set under responseGuard_, so that a waiter either sees it before it
    // sleeps or is woken by BeginUnload's notification.
    std::atomic<std::int32_t> unloading_{0};
    NamedMutexPresence serverRequestMutex_;
    NamedMutexPresence responseMutex_;
};

// True while a run-the-peer-first box of this process is up: every send then
// fails at once, so no thread and no re-entrant call stacks a second box.
bool RunPeerFirstBoxShowing();

// The process-wide context, built on first use from any thread.
BridgeContext& GetBridgeContext();

// 1 while a session is open (set by a successful vtx_init / vtx_initw,
// cleared by a successful vtx_deinit).
std::atomic<std::int32_t>& InitializedFlag();

}  // namespace vtx
