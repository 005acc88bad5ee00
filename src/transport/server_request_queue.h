// The server-request queue: texts the peer started, oldest first, until the
// host's callback or its polling collects them. Bounded in entries and in
// bytes of text, both given at construction, so a host that stops
// collecting cannot let a busy peer exhaust its memory: a text that would
// pass either bound is refused, nothing of it kept. Each operation is one
// short hold of the queue's own lock. Portable: no Win32.
#pragma once

#include <cstddef>

#include "support/heap.h"
#include "support/sync.h"
#include "transport/envelope.h"

namespace vtx {

// One server request's text: UTF-16 units and a terminator, in one heap
// block with the queue's link.
class QueuedText {
public:
    // Room for `length` units, every unit zero; null when no memory is left.
    [[nodiscard]] static Owned<QueuedText> Make(std::size_t length) noexcept;

    WideChar* Units() noexcept { return reinterpret_cast<WideChar*>(this + 1); }
    const WideChar* Units() const noexcept { return reinterpret_cast<const WideChar*>(this + 1); }
    std::size_t Length() const noexcept { return length_; }
    // What the text counts against the queue's byte bound.
    std::size_t StoredBytes() const noexcept { return length_ * sizeof(WideChar); }

private:
    explicit QueuedText(std::size_t length) noexcept : length_(length) {}
    friend class ServerRequestQueue;
    QueuedText* next_ = nullptr;
    std::size_t length_;
};

class ServerRequestQueue {
public:
    enum class Admission { Kept, TooManyTexts, TooManyBytes };

    ServerRequestQueue(std::size_t maxTexts, std::size_t maxBytes) noexcept
        : maxTexts_(maxTexts), maxBytes_(maxBytes) {}
    ServerRequestQueue(const ServerRequestQueue&) = delete;
    ServerRequestQueue& operator=(const ServerRequestQueue&) = delete;
    ~ServerRequestQueue() { Clear(); }

    // Queues `text` behind the others, or refuses it (and releases it) when
    // it would take the queue past a bound.
    [[nodiscard]] Admission Push(Owned<QueuedText> text) noexcept;
    // Removes and returns the oldest text; null when the queue is empty.
    [[nodiscard]] Owned<QueuedText> TakeOldest() noexcept;
    // Puts a text taken by TakeOldest back in front (the host's buffer was
    // too small): it stays the oldest, whatever arrived meanwhile.
    void PutBackOldest(Owned<QueuedText> text) noexcept;
    void Clear() noexcept;

private:
    friend class ServerRequestQueueProbe;  // tests only

    const std::size_t maxTexts_;
    const std::size_t maxBytes_;
    Lock lock_;
    QueuedText* oldest_ = nullptr;
    QueuedText* newest_ = nullptr;
    std::size_t count_ = 0;
    std::size_t bytes_ = 0;
};

}  // namespace vtx
