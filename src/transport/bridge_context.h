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
    // the registration then stays until RemoveResponse.
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
    void PushServerRequest(WideString text);
    // The oldest text, the queue unchanged; nothing when the queue is empty.
    std::optional<QueuedRequest> FrontServerRequest();
    // Removes the oldest text; an empty queue stays unchanged.
    void PopServerRequest();
    // Removes the oldest text only if it is still the one handed over.
    bool PopServerRequest(std::uint64_t sequence);
    // Removes and returns the oldest text in one step.
    std::optional<WideString> TakeServerRequest();
    std::size_t ServerRequestCount();
    void ClearServerRequests();

    // --- Callback worker -----------------------------------------------------
    // Starts the worker thread that polls every 100 ms and hands queued texts
    // to `callback`, in the form `callbackForm` (narrow for vtx_init, wide for
    // vtx_initw). A worker already running takes the new callback instead.
    // False when no thread could be started: nothing would ever deliver.
    bool StartCallbackWorker(ServerRequestCallback callback, Form callbackForm);
    // Stops the worker at unload. Waits at most `bound` milliseconds for it.
    void StopCallbackWorker(DWORD bound);

    // --- Plain shared words ------------------------------------------------------
    std::atomic<HWND> bridgeWindow{nullptr};
    // 0 after vtx_init, 1 after vtx_initw, -1 with no session form.
    std::atomic<std::int32_t> wideMode{-1};
    // 1 once a callback worker was started: the polling exports then refuse.
    std::atomic<std::int32_t> callbackMode{0};

    bool HoldsNamedMutexes() const { return serverRequestMutex_.IsOpen() && responseMutex_.IsOpen(); }

private:
    template <class F> ResponseTable<typename F::Answer>& TableOf();

    // The server-request queue, each operation one short hold of its guard.
    Lock serverRequestGuard_;
    std::deque<QueuedRequest> serverRequests_;
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
    NamedMutexPresence serverRequestMutex_;
    NamedMutexPresence responseMutex_;
};

// The process-wide context, built on first use from any thread.
BridgeContext& GetBridgeContext();

// 1 while a session is open (set by a successful vtx_init / vtx_initw,
// cleared by a successful vtx_deinit).
std::atomic<std::int32_t>& InitializedFlag();

}  // namespace vtx
