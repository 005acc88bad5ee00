// The bridge window: the hidden message-only window of class "VantixBridge"
// where the peer's answers and server requests arrive, with the library
// thread that owns it and pumps its messages.
//
// The loop starts with the first send of a load, not at load, and again at
// the next send should it ever have ended. Its window procedure is the only
// receiver of the peer's messages: answers go to the answer board, server
// requests to the queue (waking the callback worker). It never sends.
//
// The window accepts WM_COPYDATA from processes of lower integrity only when
// the host itself runs above Medium (elevated), so that an unelevated peer
// can still answer it; otherwise the system's default stands, and a
// sandboxed process cannot put server requests in the host's queue.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "support/library_thread.h"
#include "support/stop_signal.h"
#include "support/unique_handle.h"
#include "transport/decode.h"

namespace vtx {

class AnswerBoard;
class CallbackWorker;
class ServerRequestQueue;

class BridgeWindow {
public:
    BridgeWindow(AnswerBoard& answers, ServerRequestQueue& serverRequests, CallbackWorker& worker,
                 StopSignal& stop) noexcept;
    BridgeWindow(const BridgeWindow&) = delete;
    BridgeWindow& operator=(const BridgeWindow&) = delete;

    // Whether the handle of a running loop's window is at hand, so Handle()
    // returns it at once.
    bool HandleKnown() noexcept;
    // Whether the caller is the loop thread, which owns the window.
    bool OnLoopThread() const noexcept { return thread_.IsCurrent(); }
    // The bridge window of this process, the sender of every message: at
    // once when known; otherwise the loop is started (again) and the window
    // looked up, up to 50 attempts 100 ms apart, each in the log. Null when
    // none was found, or the library is being unloaded.
    [[nodiscard]] HWND Handle() noexcept;
    // At unload: ends the loop thread, which destroys its window and
    // unregisters the class first.
    [[nodiscard]] bool Stop() noexcept;

    // What the window procedure does with one WM_COPYDATA: the value it
    // answers the sender with.
    [[nodiscard]] LRESULT Receive(std::uint32_t code, const void* data, std::uint32_t size) noexcept;

private:
    friend class BridgeWindowProbe;  // tests only

    static void RunLoop(LibraryThread& thread, void* self) noexcept;
    // Whether the host runs above Medium integrity, and the opening of the
    // filter for `window` (system_seams.cpp: HostRunsAboveMediumIntegrity,
    // AllowCopyDataFromLowerIntegrity).
    static bool HostAboveMedium() noexcept;
    static void OpenFilter(HWND window) noexcept;
    // Lets WM_COPYDATA of lower-integrity processes through to `window`.
    static void AllowCopyDataFromLowerIntegrity(HWND window) noexcept;
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    template <class F>
    LRESULT FileAnswer(const InboundMessage& message, std::uint32_t size) noexcept;
    template <class F>
    LRESULT QueueServerRequest(const InboundMessage& message, std::uint32_t size) noexcept;

    AnswerBoard& answers_;
    ServerRequestQueue& serverRequests_;
    CallbackWorker& worker_;
    StopSignal& stop_;
    LibraryThread thread_;
    // The window the loop made, once it is ready for messages; null again
    // before the loop destroys it.
    std::atomic<HWND> made_{nullptr};
    // Found by the attempts of Handle(); valid while the loop that made it runs.
    std::atomic<HWND> window_{nullptr};
};

}  // namespace vtx
