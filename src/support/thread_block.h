// Starting and ending the library's own threads. A thread gets a shared
// reference to its control block, so the block lives as long as whichever of
// the thread and its owner lets go last: a thread never reads a block that
// was already released.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
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

// What a library thread and its owner share to end it; each thread's own
// control block derives from it.
struct ThreadControl {
    UniqueHandle thread;
    DWORD threadId = 0;
    // Set before the thread starts, so a stop that comes first is not undone.
    std::atomic<std::int32_t> run{1};
    // Signalled as the thread's last act; `parked` is never signalled.
    UniqueHandle ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle parked{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Set before `ended` when the thread will end by itself (see ReleaseAndPark).
    std::atomic<std::int32_t> endsByItself{0};

    bool HasEnded() const { return WaitForThreadEvent(ended.get(), 0); }
};

// How a library thread ends. The library may be unmapped as soon as the
// unloading thread has seen the end, so the thread must not run one more
// instruction of ours after it. It queues ExitThread to itself as an APC,
// lets go of its reference (the owner keeps the block alive until it has
// seen the end), then signals `ended` and enters an alertable wait in one
// call: the system runs the queued ExitThread from inside that wait, so the
// thread never returns into our code. Its exit then waits for the loader
// lock the unloading thread holds, and completes once the library is gone;
// ending normally, it gives back its stack (Wine keeps the stack of a
// terminated thread). The wait is on the process, which never ends meanwhile
// and whose handle cannot be closed under it.
//
// Should the APC not be queued, the thread waits on `parked`, which nobody
// signals, and the unloading thread terminates it there, holding nothing
// (see EndParkedThread). Waiting on the thread handle instead would deadlock
// under the loader lock.
template <class Block>
void ReleaseAndPark(std::shared_ptr<Block> control) {
    const HANDLE ended = control->ended.get();
    const HANDLE parked = control->parked.get();
    const auto exitThread = reinterpret_cast<PAPCFUNC>(reinterpret_cast<void*>(&::ExitThread));
    const bool exitQueued = ::QueueUserAPC(exitThread, ::GetCurrentThread(), 0) != 0;
    control->endsByItself = exitQueued ? 1 : 0;
    control.reset();
    if (exitQueued) {
        ::SignalObjectAndWait(ended, ::GetCurrentProcess(), INFINITE, TRUE);
    }
    // Not reached when the APC ran.
    ::SignalObjectAndWait(ended, parked, INFINITE, FALSE);
}

// Waits up to `boundMs` for a thread to reach ReleaseAndPark, then ends it
// unless it ends by itself. False when it did not get there in time; it is
// then left alone, since it may be anywhere, holding anything.
inline bool EndParkedThread(const ThreadControl& control, DWORD boundMs) {
    if (!WaitForThreadEvent(control.ended.get(), boundMs)) return false;
    if (control.endsByItself.load() == 0) ::TerminateThread(control.thread.get(), 0);
    return true;
}

}  // namespace vtx
