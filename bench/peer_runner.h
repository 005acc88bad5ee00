// vtxpeer.exe for the benchmark: one process at a time, answering inline or
// late. The peer keeps a copy of every message it receives for as long as it
// runs, so a long run would fill its address space; the runner restarts it
// once the bytes it has kept reach a budget, always outside a timed section.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "support/peer_process.h"

namespace vtx::bench {

enum class Delivery { Inline, Late };

class PeerRunner {
public:
    explicit PeerRunner(std::uint64_t byteBudget) : budget_(byteBudget) {}

    // Answers every request inline (inside the peer's window procedure) or
    // late (posted, sent once its window procedure returned). Starts the
    // peer if none runs.
    bool Use(Delivery delivery);
    // Starts a fresh peer, so what follows begins with nothing kept.
    bool Restart();
    // Accounts for `bytes` the peer is about to receive, restarting it first
    // when they would pass the budget. Not for concurrent callers.
    bool Reserve(std::uint64_t bytes);
    // Messages of `bytes` each the peer can take before the budget is spent.
    std::uint64_t Capacity(std::uint64_t bytes) const { return (budget_ - kept_) / bytes; }
    void Account(std::uint64_t bytes) { kept_ += bytes; }

    // Sets the answering rule again, after a command that changed it.
    bool Reapply();

    HWND Window() const { return process_ ? process_->Window() : nullptr; }
    bool Command(const char* commands) const { return process_ && process_->Command(commands); }
    int Restarts() const { return restarts_; }
    // Time spent starting peers, first start included: not part of any figure.
    double StartSeconds() const { return startSeconds_; }

private:
    std::unique_ptr<test::PeerProcess> process_;
    Delivery delivery_ = Delivery::Inline;
    std::uint64_t budget_;
    std::uint64_t kept_ = 0;
    int restarts_ = 0;
    double startSeconds_ = 0;
};

}  // namespace vtx::bench
