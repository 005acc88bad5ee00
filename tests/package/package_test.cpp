// The developer kit as customers get it: check_package.cmake has unpacked the
// zip into sdk\ and built the samples from it: c_host inside the kit
// (sdk\c_host-build\, where its README builds it), the others into
// <sample>-build\ next to this program. Here each sample runs a session against the kit's own
// vtxpeer.exe, which the C++ sample's test drives with vtxpeer --control. The
// mixed run (mixed.package.c_host) uses the other bitness's peer instead: a
// host built from the 64-bit kit against the 32-bit peer, and the reverse.
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

std::string Version() {
    return std::to_string(VTXBRIDGE_VERSION_MAJOR) + "." + std::to_string(VTXBRIDGE_VERSION_MINOR) + "." +
           std::to_string(VTXBRIDGE_VERSION_PATCH);
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// The peer the samples talk to: the kit's, or the other bitness's in the
// mixed run.
std::wstring KitPeer() { return PeerProcess::Chosen().value_or(L"sdk\\bin\\vtxpeer.exe"); }

// Waits for the started peer's window, and checks that the peer has this
// program's bitness (which is the samples') in the plain run and the other
// one in the mixed run.
void ExpectPeerReady(const ChildProcess& peer) {
    ASSERT_TRUE(peer.Started()) << "cannot start the peer (" << GetLastError() << ")";
    ASSERT_TRUE(WaitForPeerWindow(10s)) << "the peer made no window";
    EXPECT_EQ(ChildProcess::SameBitness(peer.ProcessId()), !PeerProcess::Chosen().has_value());
}

// vtxpeer --control from the kit against whatever peer runs on this desktop.
ChildProcess::Outcome Control(const std::wstring& commands) {
    return ChildProcess::Run(L"sdk\\bin\\vtxpeer.exe", {L"--control", commands}, 30s);
}

TEST(PackagedCHost, RunsASessionAgainstThePackagedPeer) {
    // Every poll is answered with a server request (1009) for the host to collect.
    const ChildProcess peer(KitPeer(), {L"--exit-after", L"100000", L"-c",
                                        L"answer 1008 inline payload=\"{\\\"request\\\":\\\"sign\\\"}\""});
    ASSERT_NO_FATAL_FAILURE(ExpectPeerReady(peer));

    const auto run = ChildProcess::RunToEnd(L"sdk\\c_host-build\\c_host.exe", {}, 60s);
    ASSERT_TRUE(run.has_value()) << "c_host.exe did not start or did not end within a minute";
    EXPECT_EQ(run->exitCode, 0u) << run->output;

    const std::string version = Version();
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

// The peer is started bare and told its rule at run time with --control; the
// C++ sample then takes the wide server request through its callback.
TEST(PackagedCppHost, TakesAHangulServerRequestThroughItsCallback) {
    const auto noPeer = Control(L"reset");
    ASSERT_TRUE(noPeer.ended);
    EXPECT_EQ(noPeer.exitCode, 3u) << noPeer.output;
    EXPECT_NE(noPeer.output.find("no peer window"), std::string::npos) << noPeer.output;

    const ChildProcess peer(KitPeer(), {L"--exit-after", L"100000"});
    ASSERT_NO_FATAL_FAILURE(ExpectPeerReady(peer));

    const auto typo = Control(L"answer 2008 inline payload");
    EXPECT_EQ(typo.exitCode, 2u) << "a command that does not parse is refused before sending: " << typo.output;
    const auto failed = Control(L"serve wide nobody");
    EXPECT_EQ(failed.exitCode, 1u) << "no host has sent anything yet: " << failed.output;

    const std::wstring serverRequest = L"{\"request\":\"\uC11C\uBA85\"}";
    std::wstring rule = L"answer 2008 inline payload=\"";
    for (const wchar_t c : serverRequest) {
        if (c == L'"' || c == L'\\') rule += L'\\';
        rule += c;
    }
    rule += L'"';
    const auto ruled = Control(rule);
    ASSERT_EQ(ruled.exitCode, 0u) << ruled.output;

    const auto run = ChildProcess::RunToEnd(L"cpp_host-build\\cpp_host.exe", {}, 60s);
    ASSERT_TRUE(run.has_value()) << "cpp_host.exe did not end within a minute";
    EXPECT_EQ(run->exitCode, 0u) << run->output;
    const std::vector<std::string> expected = {
        "vtxbridge " + Version() + " C++ host",
        "vtx_initw -> 200 (success)",
        "callback: " + Utf8(serverRequest) + " (" + std::to_string(serverRequest.size()) + ")",
        "vtx_sendresponsew -> 200 (success)",
        // The peer echoes a request's payload by default.
        "vtx_sendrequestw -> " + Utf8(L"{\"patient\":\"\uD64D\uAE38\uB3D9\"}"),
        "vtx_deinit -> 200 (success)",
        "session complete",
    };
    EXPECT_EQ(LinesOf(run->output), expected) << run->output;
}

// The LoadLibrary sample reads the DLL's version resource, fills a buffer of
// VTX_TEXT_CAPACITY and reads an error text with the header's helper.
TEST(PackagedDynloadHost, RunsASessionThroughGetProcAddress) {
    const auto withoutPeer = ChildProcess::RunToEnd(L"dynload_host-build\\dynload_host.exe", {}, 60s);
    ASSERT_TRUE(withoutPeer.has_value()) << "without a peer it must end at once, not wait on a box";
    EXPECT_EQ(withoutPeer->exitCode, 2u) << withoutPeer->output;

    const ChildProcess peer(KitPeer(), {L"--exit-after", L"100000"});
    ASSERT_NO_FATAL_FAILURE(ExpectPeerReady(peer));

    const auto run = ChildProcess::RunToEnd(L"dynload_host-build\\dynload_host.exe", {}, 60s);
    ASSERT_TRUE(run.has_value()) << "dynload_host.exe did not end within a minute";
    EXPECT_EQ(run->exitCode, 0u) << run->output;
    const std::vector<std::string> expected = {
        "vtxbridge.dll " + Version() + " loaded; header " + VTXBRIDGE_VERSION_STRING,
        "vtx_init -> 200 (success)",
        "vtx_sendrequest -> {\"request\":\"hello\"}",
        "vtx_getjobid -> 200 (success)",
        "job ID: JOB-0001 (9)",
        "vtx_deinit -> 200 (success)",
        "vtx_sendrequest -> error text, code 8 (no session is open; nothing was sent)",
        "session complete",
    };
    EXPECT_EQ(LinesOf(run->output), expected) << run->output;
}

}  // namespace
}  // namespace vtx::test
