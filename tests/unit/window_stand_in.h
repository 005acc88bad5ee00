// A top-level window of a given class in the test process, registered and
// made on the spot: a stand-in for the peer's window, or a window that holds
// a class name. It takes every WM_COPYDATA (answers 1) unless told otherwise.
#pragma once

#include <windows.h>

namespace vtx::test {

inline LRESULT CALLBACK TakeEveryMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_COPYDATA ? 1 : ::DefWindowProcW(window, message, wParam, lParam);
}

class WindowStandIn {
public:
    explicit WindowStandIn(const wchar_t* className, WNDPROC procedure = TakeEveryMessage) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, className, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    }
    ~WindowStandIn() { ::DestroyWindow(window_); }
    WindowStandIn(const WindowStandIn&) = delete;
    WindowStandIn& operator=(const WindowStandIn&) = delete;

    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

}  // namespace vtx::test
