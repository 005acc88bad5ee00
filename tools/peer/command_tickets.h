// Commands handed from other threads to the peer's thread. The window
// message that wakes the peer's thread carries only a ticket number, never a
// pointer: a stray message from another process finds no call and does
// nothing, and each call runs at most once.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "peer/peer_script.h"

namespace vtx::peer {

struct ExecuteResult {
    bool ok = true;
    std::string error;  // why not, when !ok
};

struct CommandCall {
    const std::vector<Command>* commands = nullptr;
    ExecuteResult result;
    bool done = false;
};

class CommandTickets {
public:
    // `call` must stay alive until Cancel(ticket) or until it is redeemed.
    std::uintptr_t Issue(CommandCall* call) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::uintptr_t ticket = ++lastTicket_;
        calls_[ticket] = call;
        return ticket;
    }

    // The call of `ticket`, removed from the table; null for unknown tickets.
    CommandCall* Redeem(std::uintptr_t ticket) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = calls_.find(ticket);
        if (found == calls_.end()) return nullptr;
        CommandCall* call = found->second;
        calls_.erase(found);
        return call;
    }

    void Cancel(std::uintptr_t ticket) { Redeem(ticket); }

private:
    std::mutex mutex_;
    std::uintptr_t lastTicket_ = 0;
    std::map<std::uintptr_t, CommandCall*> calls_;
};

}  // namespace vtx::peer
