#include "peer/peer.h"

#include <future>

#include "peer/message_description.h"
#include "peer/peer_engine.h"
#include "peer/peer_trace.h"
#include "peer/peer_window.h"
#include "peer/record_directory.h"

namespace vtx::peer {

Peer::Peer(PeerOptions options) : options_(std::move(options)) {}

Peer::~Peer() { Stop(); }

bool Peer::Open(std::string* error) {
    if (!options_.trace.empty()) {
        trace_ = PeerTrace::Open(options_.trace, error);
        if (!trace_) return false;
    }
    if (!options_.recordDirectory.empty()) {
        record_ = RecordDirectory::Open(options_.recordDirectory, error);
        if (!record_) return false;
    }
    const bool keep = options_.keepMessages;
    engine_ = std::make_unique<PeerEngine>(
        EngineOutputs{keep ? &received_ : nullptr, keep ? &sent_ : nullptr, trace_.get(), record_.get()});
    return true;
}

bool Peer::Start(std::string* error) {
    std::string failure;
    if (thread_.joinable() || window_.load() != nullptr) {
        failure = "the peer is already running";
    } else if (Open(&failure)) {
        std::promise<std::string> ready;
        std::future<std::string> created = ready.get_future();
        thread_ = std::thread([this, &ready] {
            std::string windowError;
            auto window = PeerWindow::Create(*engine_, &windowError);
            if (!window) {
                ready.set_value(windowError);
                return;
            }
            if (options_.exitAfterMs != 0) engine_->StartExitTimer(options_.exitAfterMs);
            threadId_ = GetCurrentThreadId();
            window_ = window->Handle();
            NoteReady();
            ready.set_value({});  // `ready` is gone from here on
            PumpMessages();
            window_ = nullptr;
            engine_->Detach();
        });
        failure = created.get();
        if (!failure.empty()) thread_.join();
    }
    if (!failure.empty() && error != nullptr) *error = failure;
    return failure.empty();
}

void Peer::Stop() {
    if (!thread_.joinable()) return;
    // Fails harmlessly when the thread already left its loop (quit).
    PostThreadMessageW(threadId_.load(), WM_QUIT, 0, 0);
    thread_.join();
    threadId_ = 0;
}

int Peer::Run(const std::vector<Command>& startup, std::string* error) {
    if (!Open(error)) return 2;
    auto window = PeerWindow::Create(*engine_, error);
    if (!window) return 2;
    threadId_ = GetCurrentThreadId();
    window_ = window->Handle();
    NoteReady();
    const ExecuteResult result = engine_->Execute(startup);
    if (!result.ok) {
        *error = result.error;
        engine_->Detach();
        window_ = nullptr;
        return 2;
    }
    if (options_.exitAfterMs != 0) engine_->StartExitTimer(options_.exitAfterMs);
    PumpMessages();
    window_ = nullptr;
    engine_->Detach();
    return 0;
}

void Peer::NoteReady() {
    if (trace_) {
        trace_->Note("ready: window " + HandleText(window_.load()) + " of process " +
                     std::to_string(GetCurrentProcessId()));
    }
}

void Peer::PumpMessages() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

ExecuteResult Peer::Execute(std::string_view commands) {
    const ParseResult parsed = ParseCommands(commands);
    if (!parsed.Ok()) return {false, "line " + std::to_string(parsed.errorLine) + ": " + parsed.error};
    return Execute(parsed.commands);
}

ExecuteResult Peer::Execute(const std::vector<Command>& commands) {
    const HWND window = window_.load();
    if (window == nullptr) return {false, "the peer is not running"};
    if (GetCurrentThreadId() == threadId_.load()) return engine_->Execute(commands);

    CommandCall call;
    call.commands = &commands;
    const std::uintptr_t ticket = engine_->Tickets().Issue(&call);
    SendMessageW(window, kExecuteMessage, 0, static_cast<LPARAM>(ticket));
    engine_->Tickets().Cancel(ticket);
    if (!call.done) return {false, "the peer is not running"};
    return call.result;
}

std::vector<ReceivedMessage> Peer::Received() const { return received_.Snapshot(); }

bool Peer::WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    return received_.WaitFor(count, timeout);
}

void Peer::ClearReceived() { received_.Clear(); }

std::vector<SentMessage> Peer::Sent() const { return sent_.Snapshot(); }

bool Peer::WaitForSent(std::size_t count, std::chrono::milliseconds timeout) const {
    return sent_.WaitFor(count, timeout);
}

void Peer::ClearSent() { sent_.Clear(); }

}  // namespace vtx::peer
