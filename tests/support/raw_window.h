// A bare WM_COPYDATA endpoint for tests: a message-only window on a thread
// of its own that records everything sent to it and can send as a bridge
// window would. Talks to the peer, or to the library's bridge window,
// without the library's own code in between.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace vtx::test {

struct CopyDataMessage {
    std::uint32_t code = 0;            // dwData
    std::uint32_t size = 0;            // cbData as it arrived
    HWND sender = nullptr;             // wParam
    std::vector<unsigned char> bytes;  // exactly `size` bytes (none if lpData was null)
};

class RawWindow {
public:
    // `returnValue` is what the window procedure answers every WM_COPYDATA with.
    explicit RawWindow(LRESULT returnValue = 1);
    ~RawWindow();
    RawWindow(const RawWindow&) = delete;
    RawWindow& operator=(const RawWindow&) = delete;

    HWND Handle() const { return window_; }
    void SetReturnValue(LRESULT value) { returnValue_ = value; }

    std::vector<CopyDataMessage> Messages() const;
    // True once `count` messages arrived in all; false after `timeout`.
    bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const;
    void Clear();

    // Sends WM_COPYDATA from the calling thread with this window as wParam;
    // returns what the receiver returned, 0 also when it did not take the
    // message within 10 s.
    LRESULT Send(HWND to, std::uint32_t code, const void* data, std::size_t size) const;

    template <class Envelope>
    LRESULT SendEnvelope(HWND to, std::uint32_t code, const Envelope& envelope) const {
        return Send(to, code, &envelope, sizeof(envelope));
    }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Pump(std::promise<HWND>* created);
    void Record(HWND sender, const COPYDATASTRUCT& data);

    std::atomic<LRESULT> returnValue_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<CopyDataMessage> messages_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::thread thread_;
};

}  // namespace vtx::test
