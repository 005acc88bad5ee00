// Finds the message box a test expects on its desktop, reads it and closes
// it, the way a user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace vtx::test {

// The library's run-the-peer-first box (src/transport/peer_delivery.cpp):
// its caption ("Error"), and its text when the host's executable has no
// string 101 of its own ("Please start the companion application first,
// then start the chart.").
inline constexpr wchar_t kRunPeerFirstCaption[] = L"\uC624\uB958";
inline constexpr wchar_t kRunPeerFirstText[] =
    L"\uBC18\uD2F1 \uCEE4\uB125\uD2B8\uB97C \uBA3C\uC800 \uC2E4\uD589 \uD6C4 "
    L"\uCC28\uD2B8\uB97C \uAD6C\uB3D9\uD574 \uC8FC\uC138\uC694.";

struct SeenMessageBox {
    std::wstring caption;
    std::wstring text;
    DWORD threadId = 0;  // the thread that showed it
};

class MessageBoxWatcher {
public:
    // Starts watching; each box that appears is read and closed, up to
    // `maxBoxes`, until the watcher is stopped or destroyed.
    explicit MessageBoxWatcher(int maxBoxes = 1);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    int Count() const { return count_.load(); }
    // The last box seen (valid once Count() > 0 and the watcher stopped).
    SeenMessageBox Last();
    void Stop();

private:
    void Watch(int maxBoxes);

    std::atomic<bool> stop_{false};
    std::atomic<int> count_{0};
    SeenMessageBox last_;
    std::thread thread_;
};

}  // namespace vtx::test
