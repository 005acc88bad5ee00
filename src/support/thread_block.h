// Starting and ending the library's own threads. A thread gets a shared
// reference to its control block, so the block lives as long as whichever of
// the thread and its owner lets go last: a thread never reads a block that
// was already released.
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

// Waits up to `boundMs` for an event a thread signals (its start, its end).
inline bool WaitForThreadEvent(HANDLE event, DWORD boundMs) {
    return event != nullptr && ::WaitForSingleObject(event, boundMs) == WAIT_OBJECT_0;
}

// How a library thread ends. The library may be unmapped as soon as the
// unloading thread has seen the end, so the thread must not run one more
// instruction of ours after it: it signals `ended` and starts waiting on
// `parked`, which nobody signals, in one call. The unloading thread then ends
// it where it waits, holding nothing (see EndParkedThread). Waiting on the
// thread handle instead would deadlock under the loader lock.
inline void SignalEndAndPark(HANDLE ended, HANDLE parked) {
    ::SignalObjectAndWait(ended, parked, INFINITE, FALSE);
}

// Waits up to `boundMs` for a thread to reach SignalEndAndPark, then ends it.
// False when it did not get there in time; it is then left alone, since it
// may be anywhere, holding anything.
inline bool EndParkedThread(HANDLE thread, HANDLE ended, DWORD boundMs) {
    if (!WaitForThreadEvent(ended, boundMs)) return false;
    ::TerminateThread(thread, 0);
    return true;
}

}  // namespace vtx
