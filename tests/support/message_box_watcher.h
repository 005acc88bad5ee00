// Finds the message box a test expects on its desktop, reads it and closes
// it, the way a user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace vtx::test {

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
