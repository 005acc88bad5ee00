#include "peer/peer_window.h"

#include <exception>

namespace vtx::peer {
namespace {

LRESULT Dispatch(PeerEngine& engine, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    *handled = true;
    switch (message) {
        case WM_COPYDATA:
            return engine.OnCopyData(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_TIMER:
            engine.OnTimer(wParam);
            return 0;
        case kWakeMessage:
            engine.OnWake();
            return 0;
        case kExecuteMessage:
            engine.OnExecuteTicket(static_cast<std::uintptr_t>(lParam));
            return 1;
        case kHangMessage:
            Sleep(static_cast<DWORD>(wParam));
            return 0;
        case WM_CLOSE:
            // Closing the window ends the peer; the loop's owner destroys it.
            PostQuitMessage(0);
            return 0;
        default:
            *handled = false;
            return 0;
    }
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* engine = reinterpret_cast<PeerEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (engine != nullptr) {
        // No exception may cross into Windows; a message that fails is
        // simply not accepted.
        try {
            bool handled = false;
            const LRESULT result = Dispatch(*engine, message, wParam, lParam, &handled);
            if (handled) return result;
        } catch (const std::exception&) {
            return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

constexpr int kCreateAttempts = 20;
constexpr DWORD kCreatePauseMs = 50;

bool RegisterPeerClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kPeerWindowClass;
    // Several peers in one test process share the class.
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

std::unique_ptr<PeerWindow> PeerWindow::Create(PeerEngine& engine, std::string* error) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterPeerClass(instance)) {
        *error = "cannot register the window class (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    // Top-level (FindWindow does not see message-only windows) and never
    // shown: the peer has nothing to display.
    // On a desktop made a moment ago, Wine may not have its desktop window
    // ready yet and refuses with ERROR_INVALID_WINDOW_HANDLE: that passes.
    HWND window = nullptr;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        if (attempt > 0) Sleep(kCreatePauseMs);
        window = CreateWindowExW(0, kPeerWindowClass, L"vtxpeer", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, &engine);
        if (window != nullptr || GetLastError() != ERROR_INVALID_WINDOW_HANDLE) break;
    }
    if (window == nullptr) {
        *error = "cannot create the peer window (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    engine.Attach(window);
    return std::make_unique<PeerWindow>(CreateKey{}, window);
}

PeerWindow::~PeerWindow() { DestroyWindow(window_); }

}  // namespace vtx::peer
