#include "peer/peer_window.h"

#include <exception>

#include "support/unique_handle.h"

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

// How long a refused window is tried again, and how often.
constexpr ULONGLONG kCreateBoundMs = 30000;
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

HWND CreatePeerWindow(HINSTANCE instance, PeerEngine& engine) {
    // A thread that has not looked into its queue for five seconds counts as
    // hung under Wine, even before its loop starts, and a send with
    // SMTO_ABORTIFHUNG (the library's) then fails at once. After a long wait
    // for the desktop the new window would look hung until the loop starts:
    // the queue is looked into just before each try.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    // Top-level (FindWindow does not see message-only windows) and never
    // shown: the peer has nothing to display.
    return CreateWindowExW(0, kPeerWindowClass, L"vtxpeer", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, instance, &engine);
}

// Waits, at most `boundMs`, until the process that owns this desktop's own
// window has finished setting the desktop up and waits for input. Under Wine
// that is a desktop manager which the first process needing the window
// starts; a process arriving at the same time gets the window at once, while
// the manager is still setting it up, and only the starter waits for it.
// Windows' own owner cannot be opened, and needs no wait.
void WaitForTheDesktopManager(DWORD boundMs) {
    DWORD managerId = 0;
    if (GetWindowThreadProcessId(GetDesktopWindow(), &managerId) == 0) return;
    const UniqueHandle manager(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, managerId));
    if (manager) WaitForInputIdle(manager.get(), boundMs);
}

}  // namespace

std::unique_ptr<PeerWindow> PeerWindow::Create(PeerEngine& engine, std::string* error) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterPeerClass(instance)) {
        *error = "cannot register the window class (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    // On a desktop made a moment ago, a window made before the desktop is set
    // up can be refused. Should one be refused all the same, the error code
    // cannot tell a passing refusal from a lasting one (Wine leaves 1400 even
    // after a success): it is tried again until the bound.
    const ULONGLONG deadline = GetTickCount64() + kCreateBoundMs;
    WaitForTheDesktopManager(static_cast<DWORD>(kCreateBoundMs));
    HWND window = CreatePeerWindow(instance, engine);
    while (window == nullptr && GetTickCount64() < deadline) {
        Sleep(kCreatePauseMs);
        window = CreatePeerWindow(instance, engine);
    }
    if (window == nullptr) {
        const DWORD lastError = GetLastError();
        *error = "cannot create the peer window: refused for " + std::to_string(kCreateBoundMs / 1000) +
                 " s (last error " + std::to_string(lastError) + ")";
        return nullptr;
    }
    engine.Attach(window);
    return std::make_unique<PeerWindow>(CreateKey{}, window);
}

PeerWindow::~PeerWindow() { DestroyWindow(window_); }

}  // namespace vtx::peer
