#include "peer/peer_engine.h"

#include <algorithm>
#include <chrono>

#include "peer/envelope_builder.h"
#include "peer/message_description.h"
#include "peer/peer_control.h"
#include "peer/peer_forms.h"
#include "peer/text_encoding.h"
#include "transport/envelope.h"
#include "transport/message_codes.h"

namespace vtx::peer {
namespace {

constexpr UINT_PTR kLateTimer = 1;
constexpr UINT_PTR kExitTimer = 2;
constexpr UINT_PTR kFirstServeTimer = 16;

// Sets a flag for as long as it lives, exceptions included.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = false; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& flag_;
};

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace

PeerEngine::PeerEngine(EngineOutputs outputs)
    : outputs_(outputs), nextServeTimer_(kFirstServeTimer), random_(std::random_device{}()) {}

void PeerEngine::Attach(HWND window) { window_ = window; }

void PeerEngine::Detach() {
    StopServing();
    KillTimer(window_, kLateTimer);
    KillTimer(window_, kExitTimer);
    late_.Clear();
    window_ = nullptr;
}

void PeerEngine::StartExitTimer(std::uint32_t ms) { SetTimer(window_, kExitTimer, ms, nullptr); }

LRESULT PeerEngine::OnCopyData(HWND sender, const COPYDATASTRUCT* data) {
    if (data == nullptr) return 0;
    const std::uint32_t messageCode = static_cast<std::uint32_t>(data->dwData);
    // Only cbData bytes came with the message, and none if lpData is null.
    const std::size_t size = data->lpData == nullptr ? 0 : data->cbData;
    if (messageCode == kControlCode) return OnControl(*data);
    return OnRequest(sender, messageCode, data->lpData, size);
}

LRESULT PeerEngine::OnControl(const COPYDATASTRUCT& data) {
    std::string text;
    if (data.lpData != nullptr) {
        const char* begin = static_cast<const char*>(data.lpData);
        // A terminator, if the sender sent one, ends the text.
        text.assign(begin, std::find(begin, begin + data.cbData, '\0'));
    }
    const ParseResult parsed = ParseCommands(text);
    if (!parsed.Ok()) {
        Note("control " + QuoteForDisplay(text) + " -> line " + std::to_string(parsed.errorLine) + ": " +
             parsed.error);
        return 0;
    }
    const ExecuteResult result = Execute(parsed.commands);
    Note("control " + QuoteForDisplay(text) + (result.ok ? " -> ok" : " -> " + result.error));
    return result.ok ? 1 : 0;
}

void PeerEngine::Record(HWND sender, std::uint32_t messageCode, const void* data, std::size_t size) {
    if (outputs_.trace != nullptr) outputs_.trace->Received(messageCode, sender, data, size);
    if (outputs_.record != nullptr && !outputs_.record->Write(messageCode, data, size)) {
        Note("cannot write the record file of this message (error " + std::to_string(GetLastError()) + ")");
    }
    if (outputs_.received != nullptr) outputs_.received->Add(ReceivedMessage::Of(sender, messageCode, data, size));
}

LRESULT PeerEngine::OnRequest(HWND sender, std::uint32_t requestCode, const void* data, std::size_t size) {
    // Recorded before anything is answered: whoever waits for the answer
    // finds the request already logged.
    Record(sender, requestCode, data, size);
    if (sender != nullptr) lastSender_ = sender;

    const AnswerPlan plan = rules_.PlanFor(requestCode);
    if (plan.busyMs > 0) Sleep(plan.busyMs);
    if (plan.delivery == Delivery::Refuse) return 0;
    if (requestCode == code::kSetBridgeId) bridgeId_ = BridgeIdOf(data, size);
    if (plan.delivery == Delivery::Silent) return plan.returnValue;

    OutgoingMessage answer;
    answer.target = sender;
    answer.code = AnswerCode(requestCode);
    answer.bytes = BuildAnswer(requestCode, data, size, plan, bridgeId_);
    for (std::uint32_t i = 0; i < plan.repeat; ++i) {
        if (plan.delivery == Delivery::Inline) {
            Deliver(answer);
        } else {
            const std::uint32_t delayMs =
                std::uniform_int_distribution<std::uint32_t>(plan.delay.minMs, plan.delay.maxMs)(random_);
            late_.Add(LateQueue::Clock::now() + std::chrono::milliseconds(delayMs), answer);
        }
    }
    // Late answers leave from the message loop, never from in here.
    if (plan.delivery == Delivery::Late) ArmWake();
    return plan.returnValue;
}

SendOutcome PeerEngine::Deliver(const OutgoingMessage& message) {
    const SendOutcome outcome = SendCopyData(message, window_);
    if (outputs_.trace != nullptr) outputs_.trace->Sent(message, outcome);
    SentMessage sent;
    sent.code = message.code;
    sent.size = static_cast<std::uint32_t>(message.bytes.size());
    sent.target = message.target;
    sent.delivered = outcome.delivered;
    sent.result = outcome.result;
    if (outputs_.sent != nullptr) outputs_.sent->Add(sent);
    return outcome;
}

void PeerEngine::OnWake() { SendDueAnswers(); }

void PeerEngine::SendDueAnswers() {
    if (window_ == nullptr) return;
    KillTimer(window_, kLateTimer);
    // Sending lets messages sent to this thread run meanwhile, this function
    // among them; the outer call alone sends, so answers leave in due order.
    if (sendingLate_) return;
    {
        const ScopedFlag sending(sendingLate_);
        for (auto due = late_.TakeDue(LateQueue::Clock::now()); !due.empty();
             due = late_.TakeDue(LateQueue::Clock::now())) {
            for (const auto& message : due) Deliver(message);
        }
    }
    ArmWake();
}

void PeerEngine::ArmWake() {
    if (window_ == nullptr) return;
    const auto next = late_.NextDue();
    if (!next) return;
    const auto now = LateQueue::Clock::now();
    if (*next <= now) {
        PostMessageW(window_, kWakeMessage, 0, 0);
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    // Replaces a timer already running: the earliest answer decides.
    SetTimer(window_, kLateTimer, static_cast<UINT>(std::max<long long>(wait, 1)), nullptr);
}

void PeerEngine::OnTimer(UINT_PTR timerId) {
    if (timerId == kLateTimer) {
        SendDueAnswers();
        return;
    }
    if (timerId == kExitTimer) {
        Note("exit time reached");
        PostQuitMessage(0);
        return;
    }
    const auto found = serving_.find(timerId);
    if (found == serving_.end()) return;
    // A copy: serving may run stop-timers before it returns.
    const ServeCommand command = found->second;
    const std::string error = Serve(command);
    if (!error.empty()) Note("timer " + std::to_string(timerId) + ": " + error);
}

void PeerEngine::OnExecuteTicket(std::uintptr_t ticket) {
    CommandCall* call = tickets_.Redeem(ticket);
    if (call == nullptr) return;
    call->result = Execute(*call->commands);
    call->done = true;
}

ExecuteResult PeerEngine::Execute(const std::vector<Command>& commands) {
    for (const Command& command : commands) {
        std::string error = Run(command);
        if (!error.empty()) return {false, std::move(error)};
    }
    return {};
}

std::string PeerEngine::Run(const Command& command) {
    return std::visit(Overloaded{
                          [&](const AnswerCommand& answer) { return rules_.Set(answer); },
                          [&](const ServeCommand& serve) { return Serve(serve); },
                          [&](const EveryCommand& every) { return StartServing(every); },
                          [&](const HangCommand& hang) {
                              // Posted, so the control message is answered
                              // before the thread stops listening.
                              PostMessageW(window_, kHangMessage, hang.ms, 0);
                              return std::string();
                          },
                          [&](const StopTimersCommand&) {
                              StopServing();
                              return std::string();
                          },
                          [&](const ResetCommand&) {
                              // Answers already scheduled still go out: their
                              // requests were accepted under the old rules.
                              rules_.Clear();
                              StopServing();
                              bridgeId_.clear();
                              return std::string();
                          },
                          [&](const QuitCommand&) {
                              PostQuitMessage(0);
                              return std::string();
                          },
                      },
                      command);
}

std::string PeerEngine::Serve(const ServeCommand& command) {
    EncodedText text;
    std::string error = EncodeForFields(command.text, "the text", kPayloadUnits, {command.form}, &text);
    if (!error.empty()) return error;

    OutgoingMessage request;
    request.target = command.target ? reinterpret_cast<HWND>(*command.target) : lastSender_;
    if (request.target == nullptr) return "no bridge window known yet (nothing received); give to=<hwnd>";
    request.code = WithPeerForm(command.form, [](auto form) { return decltype(form)::Code(code::kServerRequest); });
    request.bytes = BuildServerRequest(command.form, text, command.length);
    const SendOutcome outcome = Deliver(request);
    if (!outcome.delivered) {
        return "window " + HandleText(request.target) + " did not take the server request";
    }
    // The bridge window answers 0 when the library refused the message (a
    // length that does not fit its text, a full queue): the host never sees
    // it, so the command failed even though the message arrived.
    if (outcome.result == 0) return "window " + HandleText(request.target) + " refused the server request (answered 0)";
    return {};
}

std::string PeerEngine::StartServing(const EveryCommand& command) {
    // Checked now, so a bad text fails the command instead of every tick.
    EncodedText text;
    std::string error = EncodeForFields(command.serve.text, "the text", kPayloadUnits, {command.serve.form}, &text);
    if (!error.empty()) return error;
    const UINT_PTR timerId = nextServeTimer_++;
    if (SetTimer(window_, timerId, command.intervalMs, nullptr) == 0) {
        return "cannot start a timer (error " + std::to_string(GetLastError()) + ")";
    }
    serving_[timerId] = command.serve;
    return {};
}

void PeerEngine::StopServing() {
    for (const auto& entry : serving_) KillTimer(window_, entry.first);
    serving_.clear();
}

void PeerEngine::Note(const std::string& text) {
    if (outputs_.trace != nullptr) outputs_.trace->Note(text);
}

}  // namespace vtx::peer
