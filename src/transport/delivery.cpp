// Outbound delivery: every message to the peer leaves through
// SendMessageCopyData, with this process's bridge window as its sender.
#include <atomic>
#include <cstdint>
#include <string>

#include "support/log.h"
#include "transport/bridge_context.h"
#include "transport/bridge_window.h"
#include "transport/window_names.h"

namespace vtx {
namespace {

constexpr int kLookupAttempts = 50;
// The loop thread needs a moment to make its window; the lookup below gives
// up after five seconds, and so does this wait.
constexpr DWORD kLoopReadyBoundMs = 5000;
constexpr DWORD kLookupPauseMs = 100;
constexpr UINT kRunPeerFirstStringId = 101;
constexpr int kRunPeerFirstCapacity = 256;

// "Please start the companion application first, then start the chart."
constexpr wchar_t kRunPeerFirstText[] =
    L"\uBC18\uD2F1 \uCEE4\uB125\uD2B8\uB97C \uBA3C\uC800 \uC2E4\uD589 \uD6C4 "
    L"\uCC28\uD2B8\uB97C \uAD6C\uB3D9\uD574 \uC8FC\uC138\uC694.";
// "Error"
constexpr wchar_t kRunPeerFirstCaption[] = L"\uC624\uB958";

// 1 while a run-the-peer-first box is up. Its modal loop dispatches the
// thread's messages (a host's timer may call us again), and other threads
// may send meanwhile: one box tells the user all there is to tell.
std::atomic<std::int32_t> runPeerFirstShowing{0};

HWND FindPeerWindow() { return ::FindWindowW(kPeerClassName, nullptr); }

// Only a bridge window of this process will do: another process that loaded
// the library has its own, and answers sent there would never reach us.
HWND FindOwnBridgeWindow() {
    const DWORD self = ::GetCurrentProcessId();
    HWND candidate = nullptr;
    while ((candidate = ::FindWindowExW(HWND_MESSAGE, candidate, kBridgeClassName, nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(candidate, &owner);
        if (owner == self) return candidate;
    }
    return nullptr;
}

// The host's executable may carry its own wording as string 101.
void ShowRunPeerFirst() {
    wchar_t text[kRunPeerFirstCapacity] = {};
    const int loaded = ::LoadStringW(::GetModuleHandleW(nullptr), kRunPeerFirstStringId, text, kRunPeerFirstCapacity);
    ::MessageBoxW(nullptr, loaded > 0 ? text : kRunPeerFirstText, kRunPeerFirstCaption, MB_OK);
}

}  // namespace

bool RunPeerFirstBoxShowing() { return runPeerFirstShowing.load() != 0; }

HWND BridgeContext::GetWindowHandle() {
    if (HWND cached = bridgeWindow.load()) return cached;
    EnsureMessageLoopRunning(kLoopReadyBoundMs);

    // The loop thread creates the window when the library loads; a first send
    // racing it waits here for up to five seconds.
    for (int attempt = 1; attempt <= kLookupAttempts; ++attempt) {
        WriteLog("[GetWindowHandle] counter: " + std::to_string(attempt));
        HWND found = FindOwnBridgeWindow();
        // Only a find is stored: a concurrent first send may have found it.
        if (found != nullptr) bridgeWindow.store(found);
        ::Sleep(kLookupPauseMs);
        if (found != nullptr) {
            WriteLog("[GetWindowHandle] Message loop thread is found.");
            return found;
        }
    }
    return nullptr;
}

LRESULT BridgeContext::SendMessageCopyData(const COPYDATASTRUCT* data) {
    // Nothing goes out once the library is being unloaded, and no box comes
    // up: the caller may be the worker, which must get out of our code.
    if (Unloading()) return 0;
    // While the box is up every send fails at once, as with the peer missing.
    const bool boxUp = RunPeerFirstBoxShowing();
    HWND peer = boxUp ? nullptr : FindPeerWindow();
    if (peer == nullptr) {
        if (!boxUp && runPeerFirstShowing.exchange(1) == 0) {
            ShowRunPeerFirst();
            runPeerFirstShowing = 0;
        }
        WriteLog("[SendMessageCopyData] Not found VantixConnect handle.");
        return 0;
    }
    // The first send may wait seconds for the bridge window; the peer may
    // restart under a new handle meanwhile, so it is looked up again then.
    // Later sends find the window cached and keep the one lookup (each costs
    // about as much as the rest of the library's work on a request).
    const bool senderCached = bridgeWindow.load() != nullptr;
    const HWND sender = GetWindowHandle();
    if (sender == nullptr) {
        WriteLog("[SendMessageCopyData] Not found VantixBridge handle.");
        return 0;
    }
    if (!senderCached && (peer = FindPeerWindow()) == nullptr) return 0;

    // No time limit: a live peer that takes long over a message is waited
    // for. But a peer whose thread has stopped handling messages altogether
    // would hold the host's thread forever, so a hung peer counts as not
    // delivered. A peer that hangs while handling this very message cannot
    // be told from a slow one and is still waited for.
    const auto wParam = reinterpret_cast<WPARAM>(sender);
    const auto lParam = reinterpret_cast<LPARAM>(data);
    DWORD_PTR result = 0;
    const LRESULT sent = wideMode.load() == 0
                             ? ::SendMessageTimeoutA(peer, WM_COPYDATA, wParam, lParam, SMTO_ABORTIFHUNG, INFINITE, &result)
                             : ::SendMessageTimeoutW(peer, WM_COPYDATA, wParam, lParam, SMTO_ABORTIFHUNG, INFINITE, &result);
    return sent != 0 ? static_cast<LRESULT>(result) : 0;
}

}  // namespace vtx
