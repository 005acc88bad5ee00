// What the peer received and sent, kept for tests running the peer
// in-process: the peer's thread appends, any thread reads or waits.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vtx::peer {

struct ReceivedMessage {
    std::uint32_t code = 0;          // dwData
    std::uint32_t size = 0;          // cbData as it arrived
    HWND sender = nullptr;           // wParam
    std::vector<unsigned char> bytes;  // lpData: exactly `size` bytes (none if lpData was null)

    static ReceivedMessage Of(HWND sender, std::uint32_t code, const void* data, std::size_t size) {
        ReceivedMessage message;
        message.code = code;
        message.size = static_cast<std::uint32_t>(size);
        message.sender = sender;
        const auto* first = static_cast<const unsigned char*>(data);
        if (first != nullptr) message.bytes.assign(first, first + size);
        return message;
    }
};

struct SentMessage {
    std::uint32_t code = 0;
    std::uint32_t size = 0;
    HWND target = nullptr;
    bool delivered = false;  // the receiver's window procedure ran in time
    LRESULT result = 0;      // what it returned
};

template <class Entry>
class MessageLog {
public:
    void Add(Entry entry) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            entries_.push_back(std::move(entry));
        }
        changed_.notify_all();
    }

    std::vector<Entry> Snapshot() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_;
    }

    // True once at least `count` entries are there; false after `timeout`.
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return entries_.size() >= count; });
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Entry> entries_;
};

}  // namespace vtx::peer
