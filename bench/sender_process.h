// The peer's side of a single server request, timed where it starts: a
// process of the benchmark's own (vtxbench.exe --sender) that sends a narrow
// server request (1009, the full 100124-byte envelope, as vtxpeer.exe sends
// it) to a window of the host's process and stamps the moment it sends.
// vtxpeer.exe could send the same message, but only in reply to a control
// message that it parses first; timed from that command, the callback
// figures would carry the command's hop and parsing as well, on both sides
// alike, and hide part of the difference between them.
#pragma once

#include <windows.h>

#include <memory>

#include "support/child_process.h"
#include "support/unique_handle.h"

namespace vtx::bench {

class SenderProcess {
public:
    // Starts the sending process; Ready() is false when it did not start.
    SenderProcess();
    ~SenderProcess();
    SenderProcess(const SenderProcess&) = delete;
    SenderProcess& operator=(const SenderProcess&) = delete;

    bool Ready() const { return child_ && child_->Started() && slot_ != nullptr; }

    // Has the process send one server request to `target` and returns the
    // tick (QueryPerformanceCounter, the same across processes) at which
    // its send began, or nothing when the window did not take it (0 or no
    // answer within a few seconds).
    bool Send(HWND target, long long* sentAt);

    // The child's side: `vtxbench --sender <parent process ID>`. Returns the
    // process's exit code.
    static int Serve(const wchar_t* parentId);

private:
    struct Slot;

    UniqueHandle mapping_;
    Slot* slot_ = nullptr;
    UniqueHandle go_;
    UniqueHandle done_;
    std::unique_ptr<test::ChildProcess> child_;
};

}  // namespace vtx::bench
