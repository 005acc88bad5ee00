#include "transport/bridge_window.h"

#include <atomic>
#include <cstdint>
#include <memory>

#include "support/limited_log.h"
#include "support/sync.h"
#include "support/text.h"
#include "support/thread_block.h"
#include "support/unique_handle.h"
#include "transport/bridge_context.h"
#include "transport/decode.h"
#include "transport/window_names.h"

namespace vtx {
namespace {

constexpr DWORD kSettleMs = 100;
constexpr DWORD kWakeIntervalMs = 20;

struct LoopControl : ThreadControl {
    // Signalled once the window exists (or could not be made).
    UniqueHandle ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// The running loop, if any. Guarded: first uses may race on host threads.
Lock& LoopGuard() {
    static Lock guard;
    return guard;
}
std::shared_ptr<LoopControl>& CurrentLoop() {
    static std::shared_ptr<LoopControl> loop;
    return loop;
}

std::shared_ptr<LoopControl> StartOrGetLoop() {
    LockHold lock(LoopGuard());
    std::shared_ptr<LoopControl>& loop = CurrentLoop();
    if (!loop) {
        auto control = std::make_shared<LoopControl>();
        control->thread = StartThreadWith(control, MessageLoopThread, &control->threadId);
        // No thread, no loop: the next use tries again.
        if (!control->thread) return nullptr;
        loop = std::move(control);
    }
    return loop;
}

// Answers 0 to the sender and says why in the log.
LRESULT Refuse(ULONG_PTR messageCode, DWORD size, const char* why) {
    WriteLimitedLog(LogKind::RefusedMessage, "[BridgeWindowProc] Refused message " + std::to_string(messageCode) +
                                                 " (" + std::to_string(size) + " bytes): " + why + ".");
    return 0;
}

LRESULT HandleCopyData(const COPYDATASTRUCT& data) {
    // Codes wider than 32 bits are none of ours.
    if (data.dwData > UINT32_MAX) return 1;
    InboundMessage message = DecodeInbound(static_cast<std::uint32_t>(data.dwData), data.lpData, data.cbData);
    BridgeContext& context = GetBridgeContext();
    switch (message.kind) {
        case InboundKind::Ignored:
            return 1;
        case InboundKind::Malformed:
            return Refuse(data.dwData, data.cbData, message.refusal ? message.refusal : "malformed");
        case InboundKind::NarrowAnswer:
            context.StoreResponse(std::move(message.narrowAnswer));
            return 1;
        case InboundKind::WideAnswer:
            context.StoreResponseW(std::move(message.wideAnswer));
            return 1;
        case InboundKind::NarrowServerRequest: {
            auto text = AnsiToWide(message.narrowText.c_str());
            if (!text) return Refuse(data.dwData, data.cbData, "its text is not valid in the ANSI code page");
            context.PushServerRequest(std::move(*text));
            return 1;
        }
        case InboundKind::WideServerRequest:
            context.PushServerRequest(std::move(message.wideText));
            return 1;
    }
    return 0;
}

// Registers the class under the executable's module. A class left behind by
// an earlier load whose thread never got to unregister it would point at a
// window procedure in unmapped code: replace it if no window uses it.
ATOM RegisterBridgeClass(HINSTANCE module) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BridgeWindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kBridgeClassName;
    ATOM atom = ::RegisterClassW(&windowClass);
    if (atom == 0 && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS && ::UnregisterClassW(kBridgeClassName, module)) {
        atom = ::RegisterClassW(&windowClass);
    }
    return atom;
}

// A host running with higher integrity than the peer would otherwise never
// receive its messages: every answer would be dropped by the system and
// every request would time out. The decoder treats every message as
// untrusted anyway. Looked up at run time: older systems lack the call.
void AllowCopyDataFromLowerIntegrity(HWND window) {
    using FilterFunction = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    const auto filter = user32 == nullptr ? nullptr
                                          : reinterpret_cast<FilterFunction>(reinterpret_cast<void*>(
                                                ::GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    if (filter != nullptr) filter(window, WM_COPYDATA, kAllow, nullptr);
}

void RunLoop(LoopControl& control) {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    if (RegisterBridgeClass(module) == 0) return;

    const HWND window = ::CreateWindowExW(0, kBridgeClassName, kBridgeClassName, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, module, nullptr);
    if (window != nullptr) {
        ::ShowWindow(window, SW_HIDE);
        AllowCopyDataFromLowerIntegrity(window);
        ::Sleep(kSettleMs);
        ::SetEvent(control.ready.get());

        MSG message;
        for (;;) {
            const BOOL result = ::GetMessageW(&message, nullptr, 0, 0);
            // -1: the queue is unusable; retrying would spin forever.
            if (result == -1 || control.run.load() == 0) break;
            // Only an unload ends the loop. Any process may post a quit to
            // this thread, and the host's answers would have nowhere to go.
            if (result == 0) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::DestroyWindow(window);
    }
    ::UnregisterClassW(kBridgeClassName, module);
}

}  // namespace

LRESULT CALLBACK BridgeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Any process may post a close to this window; the loop alone destroys
    // it, at unload. The default would destroy it under the host's feet.
    if (message == WM_CLOSE) return 0;
    if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (data == nullptr) return 1;
    try {
        return HandleCopyData(*data);
    } catch (...) {
        // Memory exhausted while copying: the message is refused, the loop lives.
        return Refuse(data->dwData, data->cbData, "no memory to copy it");
    }
}

DWORD WINAPI MessageLoopThread(LPVOID parameter) {
    std::shared_ptr<LoopControl> control = AdoptThreadBlock<LoopControl>(parameter);
    try {
        RunLoop(*control);
    } catch (...) {
    }
    ::SetEvent(control->ready.get());  // no window: nobody waits for one
    ReleaseAndPark(std::move(control));
    return 0;
}

bool EnsureMessageLoopRunning(DWORD boundMs) {
    try {
        const std::shared_ptr<LoopControl> control = StartOrGetLoop();
        return control && WaitForThreadEvent(control->ready.get(), boundMs) && !control->HasEnded();
    } catch (...) {
        return false;
    }
}

void StopMessageLoop(DWORD boundMs) {
    std::shared_ptr<LoopControl> control;
    {
        LockHold lock(LoopGuard());
        control = std::move(CurrentLoop());
    }
    if (!control) return;
    control->run = 0;

    // The loop sleeps in GetMessageW: post until it has noticed and ended.
    const ULONGLONG deadline = ::GetTickCount64() + boundMs;
    do {
        ::PostThreadMessageW(control->threadId, WM_NULL, 0, 0);
        if (EndParkedThread(*control, kWakeIntervalMs)) return;
    } while (::GetTickCount64() < deadline);
}

}  // namespace vtx
