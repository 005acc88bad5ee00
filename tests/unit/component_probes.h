// What tests read of the components beyond their interfaces: each class is
// a friend of the component it probes, and exists only in the tests. And the
// system's answers the unit tests decide (see StandIn below).
#pragma once

#include <atomic>
#include <cstddef>

#include "support/sync.h"
#include "transport/answer_board.h"
#include "transport/server_request_queue.h"

#if defined(_WIN32)
#include "support/log.h"
#include "support/named_mutex_presence.h"
#include "support/process_identity.h"
#include "transport/bridge_window.h"
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

// What src/system_seams.cpp asks the system, the unit tests decide: Wine
// runs every process at one integrity level and under one user, and the
// clock runs on. The unit tests link tests/unit/system_stand_ins.cpp in
// place of that file; each of its functions gives the library's own answer
// unless a StandIn of the test gives another, for as long as it lives.
namespace stand_in {
extern std::atomic<PeerVerdict (*)(DWORD processId) noexcept> judge;     // PeerDelivery's judge
extern std::atomic<bool (*)() noexcept> hostAboveMedium;                 // the bridge window's
extern std::atomic<void (*)(HWND window) noexcept> openFilter;           // the bridge window's
extern std::atomic<LogClockReading (*)()> clock;                         // the log's
}  // namespace stand_in

template <class Function>
class StandIn {
public:
    StandIn(std::atomic<Function>& seam, Function answer) : seam_(seam), before_(seam.exchange(answer)) {}
    ~StandIn() { seam_.store(before_); }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

private:
    std::atomic<Function>& seam_;
    Function before_;
};
template <class Function, class Answer>
StandIn(std::atomic<Function>&, Answer) -> StandIn<Function>;

class BridgeWindowProbe {
public:
    // The window's handle forgotten, as before a load's first send: the next
    // Handle() looks it up again, the loop running on.
    static void ForgetHandle(BridgeWindow& window) { window.window_ = nullptr; }
};
#endif

}  // namespace vtx
