#include "transport/bridge_window.h"

#include "support/log.h"
#include "transport/answer_board.h"
#include "transport/callback_worker.h"
#include "transport/form_traits.h"
#include "transport/server_request_queue.h"
#include "transport/window_names.h"

namespace vtx {
namespace {

// The window exists a moment before the first message goes out.
constexpr std::uint32_t kSettleMs = 100;
// The first send after a load waits this long at most for the window.
constexpr std::uint32_t kLoopReadyBoundMs = 5000;
constexpr int kLookupAttempts = 50;
constexpr std::uint32_t kLookupPauseMs = 100;
// The loop only has to notice a posted message to end.
constexpr std::uint32_t kLoopStopBoundMs = 2000;

// The loop sleeps in GetMessageW: a posted message wakes it.
void PostWake(DWORD threadId) { ::PostThreadMessageW(threadId, WM_NULL, 0, 0); }

// The one bridge window of this process and its object, from the window's
// creation until just before it is destroyed; written and read on the loop
// thread only. The window procedure finds its object here, never in the
// window's memory or in a message: any process of the user can set a
// window's user data (SetWindowLongPtr) and send it a WM_NCCREATE with a
// pointer of its choosing.
std::atomic<HWND> g_window{nullptr};
std::atomic<BridgeWindow*> g_receiver{nullptr};

// Registers the class under the executable's module. A class left behind by
// an earlier load whose thread never got to unregister it would point at a
// window procedure in unmapped code: replace it if no window uses it.
ATOM RegisterBridgeClass(HINSTANCE module, WNDPROC procedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kBridgeClassName;
    ATOM atom = ::RegisterClassW(&windowClass);
    if (atom == 0 && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS && ::UnregisterClassW(kBridgeClassName, module)) {
        atom = ::RegisterClassW(&windowClass);
    }
    return atom;
}

// Answers 0 to the sender and says why in the log.
LRESULT Refuse(std::uint32_t code, std::uint32_t size, const char* why) {
    WriteLimitedLog(LogKind::RefusedMessage, LogText("[BridgeWindowProc] Refused message ")
                                                 .Add(code)
                                                 .Add(" (")
                                                 .Add(size)
                                                 .Add(" bytes): ")
                                                 .Add(why)
                                                 .Add("."));
    return 0;
}

}  // namespace

BridgeWindow::BridgeWindow(AnswerBoard& answers, ServerRequestQueue& serverRequests, CallbackWorker& worker,
                           StopSignal& stop) noexcept
    : answers_(answers),
      serverRequests_(serverRequests),
      worker_(worker),
      stop_(stop),
      thread_(RunLoop, this, kLoopStopBoundMs, PostWake) {}

bool BridgeWindow::HandleKnown() noexcept { return window_.load() != nullptr && thread_.Running(); }

HWND BridgeWindow::Handle() noexcept {
    if (HandleKnown()) return window_.load();
    // None found yet, or found for a loop that has ended since.
    window_ = nullptr;
    if (stop_.Raised() || !thread_.Start()) return nullptr;
    // Ready or not (a loop that ended, or one still slow after 5 s), the
    // window is looked for as many times as ever, each attempt in the log:
    // a loop that gets ready meanwhile is still found.
    static_cast<void>(thread_.WaitUntilReady(kLoopReadyBoundMs));

    for (int attempt = 1; attempt <= kLookupAttempts; ++attempt) {
        WriteLog(LogText("[GetWindowHandle] counter: ").Add(attempt));
        // The loop tells which window it made: a lookup by class would meet
        // other hosts' bridge windows, and windows anyone can make.
        const HWND found = made_.load();
        // Only a find is stored: a concurrent first send may have found it.
        if (found != nullptr) window_ = found;
        const bool paused = stop_.Pause(kLookupPauseMs);
        if (found != nullptr) {
            WriteLog("[GetWindowHandle] Message loop thread is found.");
            return found;
        }
        if (!paused) break;
    }
    return nullptr;
}

bool BridgeWindow::Stop() noexcept { return thread_.Stop(); }

// An elevated host would otherwise never receive an unelevated peer's
// messages: every answer would be dropped by the system and every request
// would time out. The decoder treats every message as untrusted anyway.
// Looked up at run time: older systems lack the call.
void BridgeWindow::AllowCopyDataFromLowerIntegrity(HWND window) noexcept {
    using FilterFunction = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    const auto filter = user32 == nullptr ? nullptr
                                          : reinterpret_cast<FilterFunction>(reinterpret_cast<void*>(
                                                ::GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    if (filter != nullptr) filter(window, WM_COPYDATA, kAllow, nullptr);
}

void BridgeWindow::RunLoop(LibraryThread& thread, void* self) noexcept {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    if (RegisterBridgeClass(module, WindowProcedure) == 0) return;

    const HWND window = ::CreateWindowExW(0, kBridgeClassName, kBridgeClassName, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, module, nullptr);
    if (window != nullptr) {
        auto& bridge = *static_cast<BridgeWindow*>(self);
        g_receiver = &bridge;
        g_window = window;
        ::ShowWindow(window, SW_HIDE);
        if (HostAboveMedium()) OpenFilter(window);
        thread.WaitForWake(kSettleMs);
        bridge.made_ = window;
        thread.MarkReady();

        MSG message;
        for (;;) {
            const BOOL result = ::GetMessageW(&message, nullptr, 0, 0);
            // -1: the queue is unusable; retrying would spin forever.
            if (result == -1 || thread.StopRequested()) break;
            // Only an unload ends the loop. Any process may post a quit to
            // this thread, and the host's answers would have nowhere to go.
            if (result == 0) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        bridge.made_ = nullptr;
        g_window = nullptr;
        g_receiver = nullptr;
        ::DestroyWindow(window);
    }
    ::UnregisterClassW(kBridgeClassName, module);
}

LRESULT CALLBACK BridgeWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    BridgeWindow* const self = window == g_window.load() ? g_receiver.load() : nullptr;
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    // Any process may post a close to this window; the loop alone destroys
    // it, at unload. The default would destroy it under the host's feet.
    if (message == WM_CLOSE) return 0;
    if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    // Codes wider than 32 bits are none of ours.
    if (data == nullptr || data->dwData > UINT32_MAX) return 1;
    return self->Receive(static_cast<std::uint32_t>(data->dwData), data->lpData, data->cbData);
}

LRESULT BridgeWindow::Receive(std::uint32_t code, const void* data, std::uint32_t size) noexcept {
    const InboundMessage message = DecodeInbound(code, data, size);
    switch (message.kind) {
        case InboundKind::Ignored:
            return 1;
        case InboundKind::Malformed:
            return Refuse(code, size, message.refusal != nullptr ? message.refusal : "malformed");
        case InboundKind::Answer:
            return WithForm(message.form, [&](auto form) { return FileAnswer<decltype(form)>(message, size); });
        case InboundKind::ServerRequest:
            return WithForm(message.form,
                            [&](auto form) { return QueueServerRequest<decltype(form)>(message, size); });
    }
    return 0;
}

template <class F>
LRESULT BridgeWindow::FileAnswer(const InboundMessage& message, std::uint32_t size) noexcept {
    Owned<FiledAnswer<typename F::Char>> answer = CopyAnswer<typename F::Char>(message);
    if (!answer) return Refuse(message.code, size, "no memory to copy it");
    const RequestIdText<typename F::Char> requestId = answer->requestId;
    if (!answers_.template File<F>(std::move(answer))) {
        // Late, unsolicited or repeated after it was taken.
        WriteLimitedLog(LogKind::UnwaitedAnswer, LogText("[StoreResponse] Dropped an answer nobody waited for: message ")
                                                     .Add(message.code)
                                                     .Add(", request ID ")
                                                     .AddLoggable(requestId.units, requestId.length)
                                                     .Add("."));
    }
    return 1;
}

template <class F>
LRESULT BridgeWindow::QueueServerRequest(const InboundMessage& message, std::uint32_t size) noexcept {
    const char* refusal = "no memory to keep it";
    Owned<QueuedText> text = F::ToQueued(message.payload, &refusal);
    if (!text) return Refuse(message.code, size, refusal);
    const std::size_t bytes = text->StoredBytes();
    const ServerRequestQueue::Admission admission = serverRequests_.Push(std::move(text));
    if (admission != ServerRequestQueue::Admission::Kept) {
        // A flooding peer meets this thousands of times a second: limited.
        // The peer learns from the 0 that the text was not taken.
        WriteLimitedLog(LogKind::RefusedMessage,
                        LogText("[PushServerRequest] Server request queue is full")
                            .Add(admission == ServerRequestQueue::Admission::TooManyTexts ? " (texts): " : ": ")
                            .Add(bytes)
                            .Add(" bytes refused."));
        return 0;
    }
    worker_.Wake();
    return 1;
}

}  // namespace vtx
