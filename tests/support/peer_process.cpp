#include "support/peer_process.h"

#include <thread>

#include "peer/peer_control.h"
#include "support/process_windows.h"

namespace vtx::test {
namespace {

constexpr auto kWindowWait = std::chrono::seconds(10);
constexpr wchar_t kPeerProgram[] = L"vtxpeer.exe";

}  // namespace

std::wstring PeerProcess::ExecutablePath() { return ChildProcess::PathOf(kPeerProgram); }

PeerProcess::PeerProcess(const std::vector<std::wstring>& arguments) : process_(kPeerProgram, arguments) {
    if (!process_.Started()) return;
    const auto deadline = std::chrono::steady_clock::now() + kWindowWait;
    while (std::chrono::steady_clock::now() < deadline) {
        // Each test runs on a desktop of its own, but checking the owner costs nothing.
        window_ = PeerWindowOf(process_.ProcessId());
        if (window_ != nullptr || !process_.Running()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool PeerProcess::Command(const std::string& commands) const {
    return window_ != nullptr && peer::SendCommand(window_, commands);
}

std::optional<DWORD> PeerProcess::WaitForExit(std::chrono::milliseconds timeout) const {
    return process_.WaitForExit(timeout);
}

std::optional<PeerProcess::Outcome> PeerProcess::RunToEnd(const std::vector<std::wstring>& arguments,
                                                          std::chrono::milliseconds timeout) {
    return ChildProcess::RunToEnd(kPeerProgram, arguments, timeout);
}

}  // namespace vtx::test
