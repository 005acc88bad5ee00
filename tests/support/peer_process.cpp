#include "support/peer_process.h"

#include <thread>

#include "peer/peer_control.h"
#include "support/process_windows.h"

namespace vtx::test {
namespace {

constexpr auto kWindowWait = std::chrono::seconds(10);

// vtxpeer.exe next to the test, or the one VTX_TEST_PEER names.
std::wstring PeerProgram() { return PeerProcess::Chosen().value_or(L"vtxpeer.exe"); }

}  // namespace

// The runs across a 32/64-bit process boundary: the other bitness's build
// runs the same tests, against this build's DLL.
std::optional<std::wstring> PeerProcess::Chosen() {
    const DWORD size = GetEnvironmentVariableW(L"VTX_TEST_PEER", nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring program(size, L'\0');
    program.resize(GetEnvironmentVariableW(L"VTX_TEST_PEER", program.data(), size));
    if (program.empty()) return std::nullopt;
    for (auto& c : program) {
        if (c == L'/') c = L'\\';
    }
    return program;
}

std::wstring PeerProcess::ExecutablePath() { return ChildProcess::PathOf(PeerProgram()); }

PeerProcess::PeerProcess(const std::vector<std::wstring>& arguments) : process_(PeerProgram(), arguments) {
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
    return ChildProcess::RunToEnd(PeerProgram(), arguments, timeout);
}

}  // namespace vtx::test
