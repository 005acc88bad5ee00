// One of the library's own threads (the message loop, the callback worker):
// its start, its wake-ups, the request to stop, the unload's bound and its
// end, in one place. Every library thread and every wait of the library,
// with its bound and what ends it at unload, is listed in docs/internals.md.
//
// The owner starts the thread on first use, never inside DllMain: a thread
// created under the loader lock runs nothing until the loader lets go, and a
// host that unloads the library right after loading it would leave that
// thread to start in unmapped code. For the same reason Start returns only
// once the thread runs our code, so an unload that follows finds it there
// and can wait for its end. No lock is held while the thread gets going.
//
// At unload, Stop asks the thread to end, wakes it and waits for it, at
// most for the thread's own bound. A thread that does not end in time (a
// host callback that does not return) is left alone: it may be anywhere,
// holding anything. A thread ends without ever returning into our code
// (see End), so the library may be unmapped as soon as Stop has seen it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "support/sync.h"
#include "support/thread_check.h"
#include "support/unique_handle.h"

namespace vtx {

class LibraryThread {
public:
    using Body = void (*)(LibraryThread& thread, void* owner);
    // Called every few milliseconds while Stop waits, for waits that Wake
    // cannot end: a message loop (post it a message), a message box (close it).
    using Nudge = void (*)(DWORD threadId);

    LibraryThread(Body body, void* owner, std::uint32_t stopBoundMs, Nudge nudge) noexcept
        : body_(body), owner_(owner), stopBoundMs_(stopBoundMs), nudge_(nudge) {}
    // The thread has ended or never ran (or was given up at unload, when
    // the owner is never destroyed).
    ~LibraryThread() { EndParkedThread(); }
    LibraryThread(const LibraryThread&) = delete;
    LibraryThread& operator=(const LibraryThread&) = delete;

    // Starts the thread unless it runs (again after it ended). False when no
    // thread could be created.
    [[nodiscard]] bool Start() noexcept;
    // Started and not yet ended.
    bool Running() noexcept;
    bool IsCurrent() const noexcept { return ::GetCurrentThreadId() == threadId_.load(); }

    // From the owner: the thread's WaitForWake returns. A wake-up given
    // while the thread does not wait is kept for its next WaitForWake (one,
    // however many came), so none is lost between a look and the wait.
    void Wake() noexcept;
    // The "On the thread:" calls below check their thread in debug builds.
    //
    // On the thread: whether Stop asked it to end.
    bool StopRequested() const noexcept {
        VTX_ASSERT_THREAD(IsCurrent());
        return stopRequested_.load();
    }
    // On the thread: waits until woken or asked to stop, at most `timeoutMs`;
    // the wake-up it returns on is used up.
    void WaitForWake(std::uint32_t timeoutMs) noexcept;

    // On the thread: it is ready for what its owner waits for (the loop's
    // window exists). A thread that ends counts as ready too, so that no
    // owner waits for one that never will be.
    void MarkReady() noexcept;
    // From the owner: waits at most `boundMs` until the thread is ready.
    // True when it is ready and still running.
    [[nodiscard]] bool WaitUntilReady(std::uint32_t boundMs) noexcept;

    // At unload: asks the thread to end, wakes and nudges it, and waits at
    // most the thread's bound. True when it ended (or never ran).
    [[nodiscard]] bool Stop() noexcept;

private:
    static DWORD WINAPI Main(LPVOID self);
    // The thread's last act; never returns.
    [[noreturn]] void End() noexcept;
    // A thread that could not end by itself waits on `parked_`: end it there.
    void EndParkedThread() noexcept;

    const Body body_;
    void* const owner_;
    const std::uint32_t stopBoundMs_;
    const Nudge nudge_;

    // Guards the handles: held only to check, create and signal them, never
    // while a new thread gets going.
    Lock startLock_;
    UniqueHandle thread_;
    std::atomic<DWORD> threadId_{0};
    UniqueHandle begun_;   // the thread runs our code
    UniqueHandle wake_;    // work, or the request to stop; auto-reset
    UniqueHandle ended_;   // the thread's last act
    UniqueHandle parked_;  // never signalled (see End)
    bool ready_ = false;  // under startLock_
    ConditionVariable readyChanged_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> endsByItself_{false};
};

}  // namespace vtx
