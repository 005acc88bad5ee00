// Delivery to the peer: every message the library sends leaves through
// Send, to the peer's window, with this process's bridge window named as the
// sender. When the peer is not running, the user is told so in a message
// box, one at a time per process. Nothing here pumps messages.
//
// The peer is the first window of class "VantixConnect" in Z-order whose
// process runs in the host's Windows session, under the host's user, at
// Medium integrity or above. Any process can make a window of that class;
// one that does not qualify (a sandboxed program, another user's) would
// otherwise receive the host's login texts and payloads and could answer
// for the peer. Such a window is skipped, with a line in the log.
//
// The window taken is kept for the next sends for as long as it lives (a
// window dies with its process): windows of the class made later do not
// take its place, and no send walks past skipped windows again. A peer
// that restarts has a new window, which the next send looks for. Verdicts
// are kept per process, for as long as a window of it is seen alive, so a
// process with thousands of windows is judged once; a walk judges at most
// kJudgementsPerLookup processes anew, and one that skipped windows looks
// again from the top a few times: the window it stood on may have vanished,
// and FindWindowEx cannot go on from there.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "support/process_identity.h"
#include "support/stop_signal.h"
#include "support/sync.h"

namespace vtx {

class BridgeWindow;
struct SessionState;

class PeerDelivery {
public:
    PeerDelivery(BridgeWindow& bridgeWindow, const SessionState& session, StopSignal& stop) noexcept
        : bridgeWindow_(bridgeWindow), session_(session), stop_(stop) {}
    PeerDelivery(const PeerDelivery&) = delete;
    PeerDelivery& operator=(const PeerDelivery&) = delete;

    // Sends one WM_COPYDATA carrying `size` bytes of `envelope` under
    // `code`. Returns the peer's window procedure result, or 0 when nothing
    // was delivered: no peer (after the box), no bridge window, a hung
    // peer, the box up on another call, or the library being unloaded.
    [[nodiscard]] LRESULT Send(std::uint32_t code, const void* envelope, std::uint32_t size) noexcept;

    // True while a run-the-peer-first box of this process is up: every send
    // then fails at once, so no thread and no re-entrant call stacks a
    // second box.
    bool BoxShowing() const noexcept { return boxShowing_.load(); }

private:
    static constexpr int kJudgementsPerLookup = 64;
    static constexpr int kWalkRestarts = 4;

    // The window taken before while it lives, or the first qualifying one
    // in Z-order; null when there is none.
    HWND FindPeer() noexcept;
    HWND KeptPeer() noexcept;
    HWND WalkForPeer() noexcept;
    // The verdict on the process of `window`; `judgedNow` tells whether it
    // had to be judged rather than taken from what is kept.
    PeerVerdict VerdictFor(HWND window, DWORD processId, bool& judgedNow) noexcept;
    // Judges a process (JudgeProcess; system_seams.cpp).
    static PeerVerdict Judge(DWORD processId) noexcept;

    BridgeWindow& bridgeWindow_;
    const SessionState& session_;
    StopSignal& stop_;
    std::atomic<bool> boxShowing_{false};

    // A token query per window would cost about as much as the send. A
    // verdict is kept per process, with one of its windows as the witness
    // that it is still the same process: a process ID is not reused while
    // a window of its process exists.
    struct KnownProcess {
        DWORD processId = 0;
        HWND witness = nullptr;
        PeerVerdict verdict = PeerVerdict::Unreadable;
    };
    static constexpr int kKnownProcesses = kJudgementsPerLookup;
    Lock knownLock_;  // guards known_, nextKnown_ and taken_
    KnownProcess known_[kKnownProcesses];
    int nextKnown_ = 0;
    struct TakenWindow {
        HWND window = nullptr;
        DWORD processId = 0;
    };
    TakenWindow taken_;
};

}  // namespace vtx
