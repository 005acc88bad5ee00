// The developer kit as customers get it: check_package.cmake has unpacked the
// zip into sdk\ and built samples/c_host from it into c_host-build\ (both next
// to this program). Here the sample, a host in plain C linked through the
// kit's import library, runs a session against the kit's own vtxpeer.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/peer_process.h"
#include "vtxbridge.h"

namespace vtx::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> LinesOf(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool WaitForPeerWindow(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (FindWindowW(L"VantixConnect", nullptr) == nullptr) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(50);
    }
    return true;
}

// The mixed run (mixed.package.c_host) uses the other bitness's peer: a host
// built from the 64-bit kit against the 32-bit peer, and the reverse.
TEST(PackagedCHost, RunsASessionAgainstThePackagedPeer) {
    const std::wstring program = PeerProcess::Chosen().value_or(L"sdk\\bin\\vtxpeer.exe");
    // Every poll is answered with a server request (1009) for the host to collect.
    const ChildProcess peer(program, {L"--exit-after", L"100000", L"-c",
                                      L"answer 1008 inline payload=\"{\\\"request\\\":\\\"sign\\\"}\""});
    ASSERT_TRUE(peer.Started()) << "cannot start the peer (" << GetLastError() << ")";
    ASSERT_TRUE(WaitForPeerWindow(10s)) << "the peer made no window";
    // This program has the sample's bitness.
    EXPECT_EQ(ChildProcess::SameBitness(peer.ProcessId()), !PeerProcess::Chosen().has_value());

    const auto run = ChildProcess::RunToEnd(L"c_host-build\\c_host.exe", {}, 60s);
    ASSERT_TRUE(run.has_value()) << "c_host.exe did not start or did not end within a minute";
    EXPECT_EQ(run->exitCode, 0u) << run->output;

    const std::string version = std::to_string(VTXBRIDGE_VERSION_MAJOR) + "." +
                                std::to_string(VTXBRIDGE_VERSION_MINOR) + "." +
                                std::to_string(VTXBRIDGE_VERSION_PATCH);
    const std::vector<std::string> expected = {
        "vtxbridge " + version + " C host",
        "vtx_init -> 200",
        // The peer echoes a request's payload by default.
        "vtx_sendrequest -> {\"request\":\"hello\"}",
        "vtx_getrequestmessage -> 200: {\"request\":\"sign\"} (18)",
        "vtx_sendresponse -> 200",
        "vtx_deinit -> 200",
        "session complete",
    };
    EXPECT_EQ(LinesOf(run->output), expected) << run->output;
}

}  // namespace
}  // namespace vtx::test
