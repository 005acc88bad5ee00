#include "support/raw_window.h"

#include <future>

namespace vtx::test {
namespace {

constexpr wchar_t kClassName[] = L"VtxTestRawWindow";
constexpr UINT kSendTimeoutMs = 10000;

bool RegisterRawClass(WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

RawWindow::RawWindow(LRESULT returnValue) : returnValue_(returnValue) {
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    thread_ = std::thread([this, &created] { Pump(&created); });
    window_ = window.get();
}

RawWindow::~RawWindow() {
    if (threadId_ != 0) PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

void RawWindow::Pump(std::promise<HWND>* created) {
    HWND window = nullptr;
    if (RegisterRawClass(WindowProcedure)) {
        window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                 this);
    }
    threadId_ = GetCurrentThreadId();
    created->set_value(window);  // `created` is gone from here on
    if (window == nullptr) return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    DestroyWindow(window);
}

LRESULT CALLBACK RawWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<RawWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_COPYDATA && lParam != 0) {
        self->Record(reinterpret_cast<HWND>(wParam), *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return self->returnValue_.load();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RawWindow::Record(HWND sender, const COPYDATASTRUCT& data) {
    messages_.Add(CopyDataMessage::Of(sender, static_cast<std::uint32_t>(data.dwData), data.lpData, data.cbData));
}

LRESULT RawWindow::Send(HWND to, std::uint32_t code, const void* data, std::size_t size) const {
    COPYDATASTRUCT copy{};
    copy.dwData = code;
    copy.cbData = static_cast<DWORD>(size);
    copy.lpData = const_cast<void*>(data);  // WM_COPYDATA only reads it
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(to, WM_COPYDATA, reinterpret_cast<WPARAM>(window_), reinterpret_cast<LPARAM>(&copy),
                            SMTO_NORMAL, kSendTimeoutMs, &result) == 0) {
        return 0;
    }
    return static_cast<LRESULT>(result);
}

}  // namespace vtx::test
