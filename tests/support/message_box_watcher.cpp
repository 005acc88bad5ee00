#include "support/message_box_watcher.h"

namespace vtx::test {
namespace {

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

// The static control with the message has the id 0xFFFF in a message box.
std::wstring MessageText(HWND box) {
    const HWND label = ::GetDlgItem(box, 0xFFFF);
    return label != nullptr ? WindowText(label) : std::wstring();
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(int maxBoxes) : thread_([this, maxBoxes] { Watch(maxBoxes); }) {}

MessageBoxWatcher::~MessageBoxWatcher() { Stop(); }

void MessageBoxWatcher::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

SeenMessageBox MessageBoxWatcher::Last() {
    Stop();
    return last_;
}

void MessageBoxWatcher::Watch(int maxBoxes) {
    while (!stop_ && count_ < maxBoxes) {
        const HWND box = ::FindWindowW(L"#32770", nullptr);
        if (box != nullptr && ::IsWindowVisible(box)) {
            last_ = {WindowText(box), MessageText(box), ::GetWindowThreadProcessId(box, nullptr)};
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            // Wait until this box is gone before looking for the next one.
            for (int i = 0; i < 200 && ::IsWindow(box); ++i) ::Sleep(10);
            ++count_;
        }
        ::Sleep(10);
    }
}

}  // namespace vtx::test
