#include "transport/callback_worker.h"

#include <memory>
#include <string>

#include "support/text.h"
#include "support/thread_block.h"
#include "transport/bridge_context.h"
#include "transport/envelope.h"
#include "transport/form_traits.h"
#include "transport/outbound_envelope.h"

namespace vtx {

void WorkerControl::OpenSession(CallbackRegistration next) {
    {
        LockHold hold(guard);
        registration = next;
        open = true;
    }
    // Texts queued between sessions go to this one at once.
    ::SetEvent(wake.get());
}

bool WorkerControl::SessionOpen() {
    LockHold hold(guard);
    return open;
}

bool WorkerControl::BusyForCloser() {
    // A poll held by a run-the-peer-first box would hold vtx_deinit until
    // the user closes it; it reaches no host code, so it is not waited for.
    return calling || (polling && !RunPeerFirstBoxShowing());
}

void WorkerControl::CloseSession() {
    std::unique_lock<Lock> hold(guard);
    open = false;
    registration = {};
    if (::GetCurrentThreadId() == threadId) return;  // from inside the callback
    while (BusyForCloser()) {
        // A callback that sends a message to this very thread (a host
        // marshalling to its window) must not wait on us while we wait on it:
        // sent messages are handled meanwhile, as during any send.
        idle.WaitFor(hold, 10);
        hold.unlock();
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        hold.lock();
    }
}

bool WorkerControl::Begin(WorkerActivity activity, CallbackRegistration* current) {
    LockHold hold(guard);
    if (!open || registration.callback == nullptr) return false;
    (activity == WorkerActivity::Poll ? polling : calling) = true;
    *current = registration;
    return true;
}

void WorkerControl::End(WorkerActivity activity) {
    {
        LockHold hold(guard);
        (activity == WorkerActivity::Poll ? polling : calling) = false;
    }
    idle.NotifyAll();
}

namespace {

constexpr DWORD kPollIntervalMs = 100;
constexpr DWORD kStartBoundMs = 5000;

// Ends a Begin that succeeded, whatever happens in between.
class Busy {
public:
    Busy(WorkerControl& control, WorkerActivity activity) : control_(control), activity_(activity) {
        active_ = control_.Begin(activity_, &registration_);
    }
    ~Busy() {
        if (active_) control_.End(activity_);
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

    explicit operator bool() const { return active_; }
    const CallbackRegistration& Registration() const { return registration_; }

private:
    WorkerControl& control_;
    WorkerActivity activity_;
    CallbackRegistration registration_;
    bool active_ = false;
};

template <class F>
void SendPoll(BridgeContext& context) {
    auto envelope = TakeBlankEnvelope<typename F::Envelope>();
    COPYDATASTRUCT data{};
    data.dwData = F::Code(code::kPoll);
    data.cbData = sizeof(typename F::Envelope);
    data.lpData = envelope.get();
    context.SendMessageCopyData(&data);  // unanswered; the queue is read either way
}

// A poll in the session's form, if the session is still open.
void PollOnce(WorkerControl& control, BridgeContext& context) {
    const Busy busy(control, WorkerActivity::Poll);
    if (!busy) return;
    if (context.wideMode.load() == 0) {
        SendPoll<NarrowForm>(context);
    } else {
        SendPoll<WideForm>(context);
    }
}

// Hands the oldest text to the session's callback, in the form it was
// registered for. The text leaves the queue before the callback runs, so it
// is delivered exactly once. False when no session is open or nothing is
// queued.
bool DeliverOne(WorkerControl& control, BridgeContext& context) {
    const Busy busy(control, WorkerActivity::Callback);
    if (!busy) return false;
    std::optional<WideString> text = context.TakeServerRequest();
    if (!text) return false;
    const CallbackRegistration& registration = busy.Registration();
    if (registration.form == Form::Narrow) {
        const std::string ansi = WideToAnsi(text->data(), text->size());
        registration.callback(ansi.c_str(), static_cast<unsigned int>(ansi.size()));
    } else {
        registration.callback(text->c_str(), static_cast<unsigned int>(text->size()));
    }
    return true;
}

void WaitForWork(const WorkerControl& control, DWORD timeoutMs) {
    // Without its event the worker still keeps a pause between looks.
    if (::WaitForSingleObject(control.wake.get(), timeoutMs) == WAIT_FAILED) {
        ::Sleep(timeoutMs < kPollIntervalMs ? timeoutMs : kPollIntervalMs);
    }
}

// The delivery policy. Outside a session the worker only waits to be woken.
// In a session it polls at least every 100 ms, looks into the queue right
// after each poll (texts the peer sends while handling it are handed over in
// the same turn), and hands over every queued text the moment it arrives,
// oldest first, one callback call each, still polling on time during a long
// run of texts.
void RunWorker(WorkerControl& control) {
    BridgeContext& context = GetBridgeContext();
    ULONGLONG lastPoll = 0;
    bool polledOnce = false;
    const auto pollDue = [&] { return !polledOnce || ::GetTickCount64() - lastPoll >= kPollIntervalMs; };

    while (control.run.load() != 0) {
        // Reset before looking: whatever arrives from here on sets it again.
        ::ResetEvent(control.wake.get());
        if (control.run.load() == 0) break;
        if (!control.SessionOpen()) {
            polledOnce = false;  // a new session starts with a poll
            WaitForWork(control, INFINITE);
            continue;
        }
        try {
            if (pollDue()) {
                PollOnce(control, context);
                lastPoll = ::GetTickCount64();
                polledOnce = true;
            }
            while (control.run.load() != 0 && !pollDue() && DeliverOne(control, context)) {
            }
        } catch (...) {
            // Memory exhausted: the text that could not be converted is lost
            // with it; try the rest after the pause.
            WaitForWork(control, kPollIntervalMs);
            continue;
        }
        if (pollDue()) continue;  // a long run of texts: poll, then go on
        const ULONGLONG sincePoll = ::GetTickCount64() - lastPoll;
        WaitForWork(control, static_cast<DWORD>(kPollIntervalMs - sincePoll));
    }
}

}  // namespace

DWORD WINAPI CallbackWorker(LPVOID parameter) {
    std::shared_ptr<WorkerControl> control = AdoptThreadBlock<WorkerControl>(parameter);
    ::SetEvent(control->begun.get());
    RunWorker(*control);
    ReleaseAndPark(std::move(control));
    return 0;
}

bool BridgeContext::StartCallbackWorker(ServerRequestCallback callback, Form callbackForm) {
    LockHold guard(workerGuard_);
    // A callback that opens a session as the library is unloaded gets no
    // worker: a new thread could not start before the unload ends.
    if (Unloading()) return false;
    // One worker per process: a running one takes the new callback, so no two
    // workers ever compete for the same queue.
    if (worker_ && worker_->thread && !worker_->HasEnded()) {
        worker_->OpenSession({callback, callbackForm});
    } else {
        auto control = std::make_shared<WorkerControl>();
        control->OpenSession({callback, callbackForm});
        control->thread = StartThreadWith(control, CallbackWorker, &control->threadId);
        if (!control->thread) return false;
        // A thread still inside the loader's start-up when the host unloads
        // the library would go on into unmapped code: let it get past that
        // before the host can.
        WaitForThreadEvent(control->begun.get(), kStartBoundMs);
        worker_ = std::move(control);
    }
    callbackMode = 1;
    return true;
}

void BridgeContext::WakeCallbackWorker() {
    LockHold guard(workerGuard_);
    if (worker_) ::SetEvent(worker_->wake.get());
}

void BridgeContext::EndCallbackSession() {
    std::shared_ptr<WorkerControl> control;
    {
        LockHold guard(workerGuard_);
        control = worker_;
    }
    callbackMode = 0;
    if (control) control->CloseSession();
}

namespace {
// A run-the-peer-first box the worker shows would hold it past any bound;
// the library is going away, so the box is answered for the user.
BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
    wchar_t className[16] = {};
    if (::GetClassNameW(window, className, 16) > 0 && std::wstring(className) == L"#32770") {
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}
}  // namespace

void BridgeContext::StopCallbackWorker(DWORD boundMs) {
    std::shared_ptr<WorkerControl> control;
    {
        LockHold guard(workerGuard_);
        control = std::move(worker_);
    }
    callbackMode = 0;
    if (!control) return;
    control->run = 0;
    ::SetEvent(control->wake.get());
    if (!control->thread) return;

    const ULONGLONG deadline = ::GetTickCount64() + boundMs;
    do {
        ::EnumThreadWindows(control->threadId, CloseDialog, 0);
        if (EndParkedThread(*control, 50)) return;
    } while (::GetTickCount64() < deadline);
}

}  // namespace vtx
