// vtxpeer.exe as a separate process for tests: started with given
// arguments, waited for until its "VantixConnect" window exists, controlled
// through its control message, and ended with the test.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace vtx::test {

class PeerProcess {
public:
    // Starts vtxpeer.exe from the test executable's directory (or the one
    // the environment variable VTX_TEST_PEER names) and waits (at
    // most 10 s) for its window. Window() is null when either failed.
    explicit PeerProcess(const std::vector<std::wstring>& arguments = {});
    // The process is terminated with the object if it still runs.
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    HWND Window() const { return window_; }
    DWORD ProcessId() const { return process_.ProcessId(); }

    // Runs commands in the peer (see vtxpeer --help); true when they all ran.
    bool Command(const std::string& commands) const;

    // The exit code once the process ended by itself within `timeout`.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout) const;

    using Outcome = ChildProcess::Outcome;
    // Runs vtxpeer.exe to its end (for options that end it, like --help or
    // bad ones); nothing when it did not end within `timeout`.
    static std::optional<Outcome> RunToEnd(const std::vector<std::wstring>& arguments,
                                           std::chrono::milliseconds timeout);

    // The peer VTX_TEST_PEER names (another build's, of the other bitness),
    // as a Windows path; nothing when it names none.
    static std::optional<std::wstring> Chosen();
    // vtxpeer.exe next to the running test executable, or VTX_TEST_PEER's.
    static std::wstring ExecutablePath();

private:
    ChildProcess process_;
    HWND window_ = nullptr;
};

}  // namespace vtx::test
