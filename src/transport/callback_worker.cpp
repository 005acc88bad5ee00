#include "transport/callback_worker.h"

#include <memory>
#include <string>

#include "support/text.h"
#include "support/thread_block.h"
#include "transport/bridge_context.h"
#include "transport/envelope.h"
#include "transport/form_traits.h"

namespace vtx {
namespace {

constexpr DWORD kTurnPauseMs = 100;
constexpr DWORD kStartBoundMs = 5000;

template <class F>
void SendPoll(BridgeContext& context) {
    auto envelope = MakeBlankEnvelope<typename F::Envelope>();
    COPYDATASTRUCT data{};
    data.dwData = F::Code(code::kPoll);
    data.cbData = sizeof(typename F::Envelope);
    data.lpData = envelope.get();
    context.SendMessageCopyData(&data);  // unanswered; the turn goes on either way
}

// One turn: poll in the session's form, then deliver at most one text, in the
// form the callback was registered for. The text leaves the queue before the
// callback runs, so a concurrent vtx_deinit can neither remove it undelivered
// nor have it delivered twice.
void RunTurn(WorkerControl& control) {
    BridgeContext& context = GetBridgeContext();
    if (context.wideMode.load() == 0) {
        SendPoll<NarrowForm>(context);
    } else {
        SendPoll<WideForm>(context);
    }

    std::optional<WideString> text = context.TakeServerRequest();
    if (!text) return;
    const CallbackRegistration registration = control.Registration();
    if (registration.callback == nullptr) return;
    if (registration.form == Form::Narrow) {
        const std::string ansi = WideToAnsi(text->data(), text->size());
        registration.callback(ansi.c_str(), static_cast<unsigned int>(ansi.size()));
    } else {
        registration.callback(text->c_str(), static_cast<unsigned int>(text->size()));
    }
}

}  // namespace

DWORD WINAPI CallbackWorker(LPVOID parameter) {
    std::shared_ptr<WorkerControl> control = AdoptThreadBlock<WorkerControl>(parameter);
    ::SetEvent(control->begun.get());
    while (control->run.load() != 0) {
        try {
            RunTurn(*control);
        } catch (...) {
            // Memory exhausted in one turn: try again next turn.
        }
        // Without its event the worker still keeps its pause.
        if (::WaitForSingleObject(control->wake.get(), kTurnPauseMs) == WAIT_FAILED) ::Sleep(kTurnPauseMs);
    }
    ReleaseAndPark(std::move(control));
    return 0;
}

bool BridgeContext::StartCallbackWorker(ServerRequestCallback callback, Form callbackForm) {
    LockHold guard(workerGuard_);
    // One worker per process: a running one takes the new callback, so no two
    // workers ever compete for the same queue.
    if (worker_ && worker_->thread && !worker_->HasEnded()) {
        worker_->Register({callback, callbackForm});
    } else {
        auto control = std::make_shared<WorkerControl>();
        control->Register({callback, callbackForm});
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
