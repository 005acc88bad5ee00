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
    LRESULT Send(std::uint32_t code, const void* envelope, std::uint32_t size) noexcept;

    // True while a run-the-peer-first box of this process is up: every send
    // then fails at once, so no thread and no re-entrant call stacks a
    // second box.
    bool BoxShowing() const noexcept { return boxShowing_.load(); }

private:
    friend class PeerDeliveryProbe;  // tests only

    // The first qualifying window of the peer's class, or null.
    HWND FindPeer() noexcept;
    PeerVerdict VerdictFor(HWND window, DWORD processId) noexcept;

    BridgeWindow& bridgeWindow_;
    const SessionState& session_;
    StopSignal& stop_;
    std::atomic<bool> boxShowing_{false};

    // Verdicts of recent windows: a token query per send would cost about
    // as much as the send. Kept per window handle and process ID, so a
    // change of either is judged anew.
    struct KnownWindow {
        HWND window = nullptr;
        DWORD processId = 0;
        PeerVerdict verdict = PeerVerdict::Unreadable;
    };
    static constexpr int kKnownWindows = 4;
    Lock knownLock_;
    KnownWindow known_[kKnownWindows];
    int nextKnown_ = 0;
    PeerVerdict (*judge_)(DWORD processId) noexcept = JudgeProcess;
};

}  // namespace vtx
