#include "transport/server_request_queue.h"

#include <cstring>
#include <new>

namespace vtx {

Owned<QueuedText> QueuedText::Make(std::size_t length) noexcept {
    if (length > kPayloadUnits) return nullptr;  // no server request is longer
    const std::size_t unitBytes = (length + 1) * sizeof(WideChar);
    void* block = AllocateBlock(sizeof(QueuedText) + unitBytes);
    if (block == nullptr) return nullptr;
    Owned<QueuedText> text(::new (block) QueuedText(length));
    std::memset(static_cast<void*>(text->Units()), 0, unitBytes);
    return text;
}

ServerRequestQueue::Admission ServerRequestQueue::Push(Owned<QueuedText> text) noexcept {
    const std::size_t bytes = text->StoredBytes();
    LockHold hold(lock_);
    if (count_ >= maxTexts_) return Admission::TooManyTexts;
    if (bytes > maxBytes_ - bytes_) return Admission::TooManyBytes;
    QueuedText* kept = text.release();
    if (newest_ != nullptr) {
        newest_->next_ = kept;
    } else {
        oldest_ = kept;
    }
    newest_ = kept;
    ++count_;
    bytes_ += bytes;
    return Admission::Kept;
}

Owned<QueuedText> ServerRequestQueue::TakeOldest() noexcept {
    LockHold hold(lock_);
    QueuedText* taken = oldest_;
    if (taken == nullptr) return nullptr;
    oldest_ = taken->next_;
    if (oldest_ == nullptr) newest_ = nullptr;
    taken->next_ = nullptr;
    --count_;
    bytes_ -= taken->StoredBytes();
    return Owned<QueuedText>(taken);
}

void ServerRequestQueue::PutBackOldest(Owned<QueuedText> text) noexcept {
    LockHold hold(lock_);
    QueuedText* returned = text.release();
    returned->next_ = oldest_;
    oldest_ = returned;
    if (newest_ == nullptr) newest_ = returned;
    ++count_;
    bytes_ += returned->StoredBytes();
}

void ServerRequestQueue::Clear() noexcept {
    QueuedText* discarded = nullptr;
    {
        LockHold hold(lock_);
        discarded = oldest_;
        oldest_ = newest_ = nullptr;
        count_ = 0;
        bytes_ = 0;
    }
    // Released outside the lock, one at a time: the list may be long.
    while (discarded != nullptr) {
        QueuedText* next = discarded->next_;
        DestroyAndFree<QueuedText>{}(discarded);
        discarded = next;
    }
}

}  // namespace vtx
