// Hands a thread a shared reference to its control block, so the block lives
// as long as whichever of the thread and its owner lets go last: a thread
// never reads a block that was already released.
#pragma once

#include <windows.h>

#include <memory>

#include "support/unique_handle.h"

namespace vtx {

// Starts `routine` with a reference to `block`. Returns a null handle when the
// thread could not be created (the reference is then released again).
template <class Block>
UniqueHandle StartThreadWith(const std::shared_ptr<Block>& block, LPTHREAD_START_ROUTINE routine, DWORD* threadId) {
    auto reference = std::make_unique<std::shared_ptr<Block>>(block);
    UniqueHandle thread(::CreateThread(nullptr, 0, routine, reference.get(), 0, threadId));
    if (thread) reference.release();  // now the thread's
    return thread;
}

// Called first thing in the thread routine with its parameter.
template <class Block>
std::shared_ptr<Block> AdoptThreadBlock(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<Block>> reference(static_cast<std::shared_ptr<Block>*>(parameter));
    return std::move(*reference);
}

// Waits up to `boundMs` for a thread's "ended" event. Never waits on the
// thread handle itself: under the loader lock that would deadlock.
inline bool WaitForThreadEnd(HANDLE endedEvent, DWORD boundMs) {
    return endedEvent != nullptr && ::WaitForSingleObject(endedEvent, boundMs) == WAIT_OBJECT_0;
}

}  // namespace vtx
