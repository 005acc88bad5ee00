// vtxpeer.exe for the benchmark: one process, answering inline or late. It
// keeps nothing of the messages it receives, so one peer serves a run of any
// length (see docs/performance.md, "The peer keeps nothing").
#pragma once

#include <windows.h>

#include <memory>

#include "support/peer_process.h"

namespace vtx::bench {

enum class Delivery { Inline, Late };

class PeerRunner {
public:
    // Answers every request inline (inside the peer's window procedure) or
    // late (posted, sent once its window procedure returned). Starts the
    // peer if none runs or it no longer takes commands.
    bool Use(Delivery delivery);
    // Sets the answering rule again, after a command that changed it.
    bool Reapply();

    HWND Window() const { return process_ ? process_->Window() : nullptr; }
    DWORD ProcessId() const { return process_ ? process_->ProcessId() : 0; }
    bool Command(const char* commands) const { return process_ && process_->Command(commands); }

private:
    bool Start();

    std::unique_ptr<test::PeerProcess> process_;
    Delivery delivery_ = Delivery::Inline;
};

}  // namespace vtx::bench
