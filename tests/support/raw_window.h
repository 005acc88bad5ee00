// A bare WM_COPYDATA endpoint for tests: a message-only window on a thread
// of its own that records everything sent to it and can send as a bridge
// window would. Talks to the peer, or to the library's bridge window,
// without the library's own code in between.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <future>
#include <thread>
#include <vector>

#include "peer/message_log.h"

namespace vtx::test {

// What arrived: code (dwData), cbData as it arrived, the sender (wParam) and
// exactly cbData bytes (none if lpData was null).
using CopyDataMessage = peer::ReceivedMessage;

class RawWindow {
public:
    // `returnValue` is what the window procedure answers every WM_COPYDATA with.
    explicit RawWindow(LRESULT returnValue = 1);
    ~RawWindow();
    RawWindow(const RawWindow&) = delete;
    RawWindow& operator=(const RawWindow&) = delete;

    HWND Handle() const { return window_; }
    void SetReturnValue(LRESULT value) { returnValue_ = value; }

    std::vector<CopyDataMessage> Messages() const { return messages_.Snapshot(); }
    // True once `count` messages arrived in all; false after `timeout`.
    bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const {
        return messages_.WaitFor(count, timeout);
    }
    void Clear() { messages_.Clear(); }

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
    peer::MessageLog<CopyDataMessage> messages_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::thread thread_;
};

}  // namespace vtx::test
