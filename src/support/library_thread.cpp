#include "support/library_thread.h"

namespace vtx {
namespace {
// How long Start waits for a new thread to get past the loader's start-up.
constexpr DWORD kBeginBoundMs = 5000;
// How often Stop nudges a thread while it waits for its end.
constexpr DWORD kNudgeIntervalMs = 20;

[[nodiscard]] bool Signalled(HANDLE event, DWORD timeoutMs) {
    return event != nullptr && ::WaitForSingleObject(event, timeoutMs) == WAIT_OBJECT_0;
}

UniqueHandle NewEvent() { return UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)); }
// Reset by the wait that it ends: resetting it by hand would cost the woken
// thread one more call to the system (to the Wine server, some 30 us) before
// it gets to its work.
UniqueHandle NewWakeEvent() { return UniqueHandle(::CreateEventW(nullptr, FALSE, FALSE, nullptr)); }
}  // namespace

bool LibraryThread::Start() noexcept {
    HANDLE begun = nullptr;
    {
        LockHold hold(startLock_);
        if (thread_ && !Signalled(ended_.get(), 0)) return true;
        EndParkedThread();  // the one before, if it ended without ending itself
        thread_.reset();    // nothing runs until a new thread does
        stopRequested_ = false;
        endsByItself_ = false;
        ready_ = false;
        begun_ = NewEvent();
        wake_ = NewWakeEvent();
        ended_ = NewEvent();
        parked_ = NewEvent();
        if (!begun_ || !wake_ || !ended_ || !parked_) return false;
        DWORD id = 0;
        thread_.reset(::CreateThread(nullptr, 0, Main, this, 0, &id));
        if (!thread_) return false;
        threadId_ = id;
        begun = begun_.get();  // replaced only once this thread has ended
    }
    // A thread not yet running our code after that still runs it later, and
    // an unload meanwhile still waits for its end: it is started either way.
    static_cast<void>(Signalled(begun, kBeginBoundMs));
    return true;
}

bool LibraryThread::Running() noexcept {
    LockHold hold(startLock_);
    return static_cast<bool>(thread_) && !Signalled(ended_.get(), 0);
}

void LibraryThread::Wake() noexcept {
    LockHold hold(startLock_);
    if (wake_) ::SetEvent(wake_.get());
}

void LibraryThread::WaitForWake(std::uint32_t timeoutMs) noexcept {
    VTX_ASSERT_THREAD(IsCurrent());
    if (stopRequested_.load()) return;
    // Without its event the thread still keeps a pause between looks.
    if (::WaitForSingleObject(wake_.get(), timeoutMs) == WAIT_FAILED) ::Sleep(timeoutMs < 100 ? timeoutMs : 100);
}

void LibraryThread::MarkReady() noexcept {
    VTX_ASSERT_THREAD(IsCurrent());
    {
        LockHold hold(startLock_);
        ready_ = true;
    }
    readyChanged_.NotifyAll();
}

bool LibraryThread::WaitUntilReady(std::uint32_t boundMs) noexcept {
    LockHold hold(startLock_);
    return readyChanged_.WaitUntil(hold, boundMs, [this] { return ready_; }) && static_cast<bool>(thread_) &&
           !Signalled(ended_.get(), 0);
}

bool LibraryThread::Stop() noexcept {
    stopRequested_ = true;
    {
        LockHold hold(startLock_);
        if (!thread_) return true;
        ::SetEvent(wake_.get());
    }
    const std::uint64_t deadline = MonotonicMs() + stopBoundMs_;
    for (;;) {
        if (nudge_ != nullptr) nudge_(threadId_.load());
        if (Signalled(ended_.get(), kNudgeIntervalMs)) {
            EndParkedThread();
            return true;
        }
        if (MonotonicMs() >= deadline) return false;
    }
}

DWORD WINAPI LibraryThread::Main(LPVOID parameter) {
    auto& self = *static_cast<LibraryThread*>(parameter);
    // Set here too: the thread may run before CreateThread has returned its
    // ID to Start, and its own calls ask IsCurrent from the first.
    self.threadId_ = ::GetCurrentThreadId();
    ::SetEvent(self.begun_.get());
    self.body_(self, self.owner_);
    self.End();
}

// The library may be unmapped as soon as the unloading thread has seen the
// end, so the thread must not run one more instruction of ours after it. It
// queues ExitThread to itself as an APC, then signals `ended_` and enters an
// alertable wait in one call: the system runs the queued ExitThread from
// inside that wait, so the thread never returns into our code. Its exit then
// waits for the loader lock the unloading thread holds, and completes once
// the library is gone; ending normally, it gives back its stack (Wine keeps
// the stack of a terminated thread). The wait is on the process, which never
// ends meanwhile and whose handle cannot be closed under it.
//
// Should the APC not be queued, the thread waits on `parked_`, which nobody
// signals, and the owner terminates it there, holding nothing
// (EndParkedThread). Waiting on the thread handle instead would deadlock
// under the loader lock.
void LibraryThread::End() noexcept {
    MarkReady();
    const HANDLE ended = ended_.get();
    const HANDLE parked = parked_.get();
    const auto exitThread = reinterpret_cast<PAPCFUNC>(reinterpret_cast<void*>(&::ExitThread));
    const bool exitQueued = ::QueueUserAPC(exitThread, ::GetCurrentThread(), 0) != 0;
    endsByItself_ = exitQueued;
    if (exitQueued) ::SignalObjectAndWait(ended, ::GetCurrentProcess(), INFINITE, TRUE);
    // Reached only when the APC could not be queued.
    for (;;) ::SignalObjectAndWait(ended, parked, INFINITE, FALSE);
}

void LibraryThread::EndParkedThread() noexcept {
    if (thread_ && Signalled(ended_.get(), 0) && !endsByItself_.load()) {
        ::TerminateThread(thread_.get(), 0);
        endsByItself_ = true;  // once
    }
}

}  // namespace vtx
