// The minimal host: the least a bridge must do per request, written without
// the library's code, so its round trip is the transport's own limit. A
// message-only window on a pump thread of its own receives answers and
// server requests; answers are copied out and handed to their waiting thread
// through an answer table under a lock, and the waiter is woken by an event.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

#include "support/unique_handle.h"
#include "common/envelope_helpers.h"
#include "transport/envelope.h"
#include "transport/message_codes.h"

namespace vtx::bench {

class RawHost {
public:
    // One per thread that sends: its wake event and its two full envelopes,
    // allocated once, so a round trip allocates nothing but the answer text.
    class Sender {
    public:
        Sender();
        Sender(const Sender&) = delete;
        Sender& operator=(const Sender&) = delete;

    private:
        friend class RawHost;
        UniqueHandle answered_;
        std::unique_ptr<MessageEnvelope> narrow_;
        std::unique_ptr<MessageEnvelopeW> wide_;
        std::string prefix_;
        std::uint32_t next_ = 0;
    };

    RawHost();
    ~RawHost();
    RawHost(const RawHost&) = delete;
    RawHost& operator=(const RawHost&) = delete;

    bool Ready() const { return window_ != nullptr; }
    HWND Window() const { return window_; }

    // Sends one full request envelope (1014 narrow, 2014 wide) to `peer` and
    // waits up to five seconds for its answer. True when the answer came and
    // echoed the payload.
    bool RoundTrip(Sender& sender, HWND peer, Form form);

    // Server requests (1009) the window received, oldest first; the event is
    // set whenever one arrives.
    HANDLE ServerRequestEvent() const { return serverRequestArrived_.get(); }
    std::optional<std::string> TakeServerRequest();

    // The payload every request carries and every answer must echo.
    static const char kPayload[];

private:
    struct Awaiting {
        HANDLE answered = nullptr;
        std::string payload;  // the answer's payload bytes, copied out
    };

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Pump(HANDLE created);
    LRESULT OnCopyData(const COPYDATASTRUCT& data);
    template <class Envelope>
    bool SendAndWait(Sender& sender, Envelope& envelope, std::uint32_t code, HWND peer);

    std::mutex tableLock_;
    std::unordered_map<std::string, Awaiting*> awaiting_;
    std::mutex inboxLock_;
    std::deque<std::string> serverRequests_;
    UniqueHandle serverRequestArrived_;
    HWND window_ = nullptr;
    std::thread pump_;
};

}  // namespace vtx::bench
