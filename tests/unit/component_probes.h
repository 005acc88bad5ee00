// What tests read of the components beyond their interfaces: each class is
// a friend of the component it probes, and exists only in the tests.
#pragma once

#include <cstddef>

#include "support/sync.h"
#include "transport/answer_board.h"
#include "transport/server_request_queue.h"

#if defined(_WIN32)
#include "support/named_mutex_presence.h"
#include "transport/bridge_window.h"
#include "transport/peer_delivery.h"
#endif

namespace vtx {

class AnswerBoardProbe {
public:
    // Registrations held now, both forms.
    static std::size_t PendingCount(AnswerBoard& board) {
        LockHold hold(board.lock_);
        return board.narrow_.Size() + board.wide_.Size();
    }
};

class ServerRequestQueueProbe {
public:
    static std::size_t Count(ServerRequestQueue& queue) {
        LockHold hold(queue.lock_);
        return queue.count_;
    }
    // Bytes of UTF-16 text queued now, as counted against the bound.
    static std::size_t Bytes(ServerRequestQueue& queue) {
        LockHold hold(queue.lock_);
        return queue.bytes_;
    }

    // Holds the queue's lock for as long as it lives: lets a test see that
    // every queue operation waits for it.
    explicit ServerRequestQueueProbe(ServerRequestQueue& queue) : hold_(queue.lock_) {}

private:
    LockHold hold_;
};

#if defined(_WIN32)
class NamedMutexPresenceProbe {
public:
    // True when the named mutex is open.
    static bool IsOpen(const NamedMutexPresence& presence) { return static_cast<bool>(presence.mutex_); }
};

// Seams of the components that ask the system who a process is: Wine runs
// every process at one integrity level and under one user, so tests decide.
class PeerDeliveryProbe {
public:
    static void SetJudge(PeerDelivery& delivery, PeerVerdict (*judge)(DWORD) noexcept) { delivery.judge_ = judge; }
};

class BridgeWindowProbe {
public:
    static void SetFilter(BridgeWindow& window, bool (*hostAboveMedium)() noexcept, void (*openFilter)(HWND) noexcept) {
        window.hostAboveMedium_ = hostAboveMedium;
        window.openFilter_ = openFilter;
    }
    // The window's handle forgotten, as before a load's first send: the next
    // Handle() looks it up again, the loop running on.
    static void ForgetHandle(BridgeWindow& window) { window.window_ = nullptr; }
};
#endif

}  // namespace vtx
