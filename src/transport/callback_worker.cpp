#include "transport/callback_worker.h"

#include <windows.h>

#include "transport/form_traits.h"
#include "transport/outbound_envelope.h"
#include "transport/peer_delivery.h"
#include "transport/server_request_queue.h"
#include "transport/session_state.h"

namespace vtx {
namespace {

constexpr std::uint32_t kPollIntervalMs = 100;
// The unload's wait for a callback under way.
constexpr std::uint32_t kWorkerStopBoundMs = 5000;

// A run-the-peer-first box the worker shows would hold it past any bound;
// the library is going away, so the box is answered for the user.
BOOL CALLBACK AnswerDialog(HWND window, LPARAM) {
    wchar_t className[16] = {};
    if (::GetClassNameW(window, className, 16) == 6 && lstrcmpW(className, L"#32770") == 0) {
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

void AnswerDialogsOf(DWORD threadId) { ::EnumThreadWindows(threadId, AnswerDialog, 0); }

template <class F>
void SendPoll(PeerDelivery& delivery) {
    auto envelope = TakeBlankEnvelope<typename F::Envelope>();
    // Unanswered; the queue is read either way, whether the peer took the
    // poll or not. Without memory for the envelope the poll is skipped: the
    // next one comes in 100 ms.
    if (envelope) static_cast<void>(delivery.Send(F::kPollCode, envelope.get(), sizeof(typename F::Envelope)));
}

}  // namespace

// Ends a Begin that succeeded, whatever happens in between.
class CallbackWorker::Busy {
public:
    Busy(CallbackWorker& worker, Activity activity) : worker_(worker), activity_(activity) {
        active_ = worker_.Begin(activity_, &registration_);
    }
    ~Busy() {
        if (active_) worker_.End(activity_);
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

    explicit operator bool() const { return active_; }
    const Registration& Session() const { return registration_; }

private:
    CallbackWorker& worker_;
    Activity activity_;
    Registration registration_;
    bool active_ = false;
};

CallbackWorker::CallbackWorker(PeerDelivery& delivery, ServerRequestQueue& serverRequests,
                               const SessionState& session) noexcept
    : delivery_(delivery),
      serverRequests_(serverRequests),
      session_(session),
      thread_(Run, this, kWorkerStopBoundMs, AnswerDialogsOf) {}

bool CallbackWorker::OpenSession(VtxServerRequestCallback callback, Form form) noexcept {
    {
        LockHold hold(guard_);
        registration_ = Registration{callback, form};
        open_ = true;
    }
    // One worker per process: a running one takes the new callback, so no
    // two workers ever compete for the same queue.
    if (!thread_.Start()) {
        LockHold hold(guard_);
        open_ = false;
        registration_ = {};
        return false;
    }
    // Texts queued between sessions go to this one at once.
    thread_.Wake();
    return true;
}

bool CallbackWorker::SessionOpen() noexcept {
    LockHold hold(guard_);
    return open_;
}

bool CallbackWorker::BusyForCloser() noexcept {
    // A poll held by a run-the-peer-first box would hold vtx_deinit until
    // the user closes it; it reaches no host code, so it is not waited for.
    return calling_ || (polling_ && !delivery_.BoxShowing());
}

void CallbackWorker::CloseSession() noexcept {
    LockHold hold(guard_);
    open_ = false;
    registration_ = {};
    if (thread_.IsCurrent()) return;  // from inside the callback
    while (BusyForCloser()) {
        // A callback that sends a message to this very thread (a host
        // marshalling to its window) must not wait on us while we wait on it:
        // sent messages are handled meanwhile, as during any send.
        idle_.WaitFor(hold, 10);
        hold.Leave();
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        hold.Enter();
    }
}

bool CallbackWorker::Begin(Activity activity, Registration* current) noexcept {
    LockHold hold(guard_);
    if (!open_ || registration_.callback == nullptr) return false;
    (activity == Activity::Poll ? polling_ : calling_) = true;
    *current = registration_;
    return true;
}

void CallbackWorker::End(Activity activity) noexcept {
    {
        LockHold hold(guard_);
        (activity == Activity::Poll ? polling_ : calling_) = false;
    }
    idle_.NotifyAll();
}

// A poll in the session's form, if the session is still open.
void CallbackWorker::PollOnce() noexcept {
    const Busy busy(*this, Activity::Poll);
    if (!busy) return;
    WithForm(session_.sendForm.load(), [&](auto form) { SendPoll<decltype(form)>(delivery_); });
}

// Hands the oldest text to the session's callback, in the form it was
// registered for. The text leaves the queue before the callback runs, so it
// is delivered exactly once; one that cannot be converted for want of
// memory goes back in front, for the next turn.
CallbackWorker::Handover CallbackWorker::HandOverOldest() noexcept {
    const Busy busy(*this, Activity::Callback);
    if (!busy) return Handover::NoSession;
    Owned<QueuedText> text = serverRequests_.TakeOldest();
    if (!text) return Handover::NothingQueued;
    const Registration& session = busy.Session();
    const bool handed = WithForm(session.form, [&](auto form) {
        return decltype(form)::WithHostText(*text, [&](const auto* units, std::size_t length) {
            session.callback(units, static_cast<unsigned int>(length));
        });
    });
    if (handed) return Handover::Done;
    serverRequests_.PutBackOldest(std::move(text));
    return Handover::NoMemory;
}

void CallbackWorker::Run(LibraryThread& thread, void* self) noexcept {
    static_cast<CallbackWorker*>(self)->Serve(thread);
}

// The delivery policy. Outside a session the worker only waits to be woken.
// In a session it polls at least every 100 ms, looks into the queue right
// after each poll (texts the peer sends while handling it are handed over in
// the same turn), and hands over every queued text the moment it arrives,
// still polling on time during a long run of texts.
void CallbackWorker::Serve(LibraryThread& thread) noexcept {
    std::uint64_t lastPoll = 0;
    bool polledOnce = false;
    const auto pollDue = [&] { return !polledOnce || MonotonicMs() - lastPoll >= kPollIntervalMs; };

    while (!thread.StopRequested()) {
        // A wake-up that came while it looked is kept for the next wait: at
        // worst one turn more finds nothing new.
        if (!SessionOpen()) {
            polledOnce = false;  // a new session starts with a poll
            thread.WaitForWake(INFINITE);
            continue;
        }
        if (pollDue()) {
            PollOnce();
            lastPoll = MonotonicMs();
            polledOnce = true;
        }
        Handover handover = Handover::Done;
        while (!thread.StopRequested() && !pollDue() && (handover = HandOverOldest()) == Handover::Done) {
        }
        if (handover == Handover::NoMemory) {
            // Tried again after the pause, with the text still first.
            thread.WaitForWake(kPollIntervalMs);
            continue;
        }
        // One reading decides both whether the poll is due and how long to
        // pause: with two, a turn preempted between them would compute a
        // pause of about 49 days, and the worker would poll no more.
        const std::uint64_t sincePoll = MonotonicMs() - lastPoll;
        if (sincePoll >= kPollIntervalMs) continue;  // a long run of texts: poll, then go on
        thread.WaitForWake(static_cast<std::uint32_t>(kPollIntervalMs - sincePoll));
    }
}

}  // namespace vtx
