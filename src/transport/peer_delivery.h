// Delivery to the peer: every message the library sends leaves through
// Send, to the peer's window, with this process's bridge window named as the
// sender. When the peer is not running, the user is told so in a message
// box, one at a time per process. Nothing here pumps messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "support/stop_signal.h"

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
    BridgeWindow& bridgeWindow_;
    const SessionState& session_;
    StopSignal& stop_;
    std::atomic<bool> boxShowing_{false};
};

}  // namespace vtx
