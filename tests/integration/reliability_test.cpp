// The library inside a host that runs all day: whatever the peer or another
// process sends, however often the host loads and unloads it, it must not
// crash, hang past its contract, lose or mix up an answer, or keep growing.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/bridge_library.h"
#include "support/child_process.h"
#include "support/message_box_watcher.h"
#include "support/peer_process.h"
#include "support/process_counts.h"

namespace vtx::test {

// How many times the bounded amounts below are run. CI runs them once; a
// soak run asks for more: reliability_tests.exe --scale=1000, or
// VTX_RELIABILITY_SCALE=1000 for runs through ctest.
int reliabilityScale = 1;

namespace {

using namespace std::chrono_literals;

int Scaled(int amount) { return amount * reliabilityScale; }

// Sends `count` requests "<tag>-<i>" through vtx_sendrequestparam to a peer
// that echoes them; returns how many answers were not their own echo.
int EchoRound(BridgeLibrary& library, const std::string& tag, int count) {
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        const std::string request = tag + "-" + std::to_string(i);
        char answer[64] = {};
        unsigned int length = sizeof(answer);
        const int result = library.sendrequestparam(request.c_str(), 0, answer, &length);
        if (result != 200 || request != answer) {
            ADD_FAILURE() << request << ": " << result << " \"" << answer << "\"";
            ++wrong;
        }
    }
    return wrong;
}

void DrainServerRequests(BridgeLibrary& library) {
    char buffer[100000];
    unsigned int length = sizeof(buffer);
    while (library.getrequestmessage(buffer, &length) == 200) length = sizeof(buffer);
}

constexpr SIZE_T kMiB = 1024 * 1024;

// The memory checks below mean something only if the probe sees memory grow.
TEST(Memory, TheProbeSeesCommittedMemory) {
    const SIZE_T before = PrivateBytes();
    std::vector<std::unique_ptr<char[]>> held;
    for (int i = 0; i < 256; ++i) held.push_back(std::make_unique<char[]>(128 * 1024));
    EXPECT_GE(PrivateBytes(), before + 24 * kMiB);
}

TEST(Pairing, FourThreadsWithShuffledLateAnswersEachGetTheirOwn) {
    // Answers come back after random delays, so they arrive in another order
    // than the requests went out.
    PeerProcess peer({L"-c", L"answer 1004 late=0-8"});
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] { wrong += EchoRound(library, "thread" + std::to_string(t), Scaled(1000)); });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Pairing, TwoHostProcessesShareOnePeerAndEachGetsItsOwnAnswers) {
    PeerProcess peer;
    ASSERT_NE(peer.Window(), nullptr);
    // The other host sends while this one does; both use the same
    // session-wide mutexes and the same peer.
    ChildProcess other(L"vtxtesthost.exe", {L"requests", std::to_wstring(Scaled(300)), L"other"});
    ASSERT_TRUE(other.Started());
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
    EXPECT_EQ(EchoRound(library, "this", Scaled(300)), 0);
    EXPECT_EQ(other.WaitForExit(60s * reliabilityScale), std::optional<DWORD>(0)) << "the other host got an answer that was not its own";
}

TEST(Memory, RepeatedAndLateAnswersAreNotKept) {
    // Every request is answered twenty times, each after its own short delay:
    // the first to arrive is taken, the others mostly arrive when nobody
    // waits for them any more.
    PeerProcess peer({L"-c", L"answer 1004 late=0-20 repeat=20"});
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
    ASSERT_EQ(EchoRound(library, "warm", 50), 0);
    const SIZE_T before = PrivateBytes();
    ASSERT_EQ(EchoRound(library, "repeat", Scaled(500)), 0);  // thousands of unwanted answers
    // An answer that comes after the wait gave up is not kept either.
    ASSERT_TRUE(peer.Command("answer 1020 late=5300"));
    EXPECT_EQ(library.iswcalive(), 14);
    ::Sleep(500);
    const SIZE_T after = PrivateBytes();
    // Each answer kept would hold 100 KB: 9500 of them would be close to 1 GB.
    EXPECT_LT(after, before + 16 * kMiB) << "grew from " << before / kMiB << " to " << after / kMiB << " MiB";
}

TEST(Robustness, BridgeWindowSurvivesRandomAndMutatedMessages) {
    PeerProcess peer;
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
    ASSERT_EQ(EchoRound(library, "before", 20), 0);
    const SIZE_T before = PrivateBytes();

    ChildProcess fuzzer(L"vtxtesthost.exe",
                        {L"fuzz-bridge", std::to_wstring(::GetCurrentProcessId()),
                         std::to_wstring(Scaled(20000)), L"20261207"});
    ASSERT_TRUE(fuzzer.Started());
    EXPECT_EQ(fuzzer.WaitForExit(170s * reliabilityScale), std::optional<DWORD>(0));

    // Well-formed server requests among the noise were queued; a polling
    // host collects them.
    DrainServerRequests(library);
    EXPECT_EQ(EchoRound(library, "after", 20), 0) << "the bridge window still answers";
    const SIZE_T after = PrivateBytes();
    EXPECT_LT(after, before + 32 * kMiB) << "grew from " << before / kMiB << " to " << after / kMiB << " MiB";
}

void __stdcall SlowCallback(const void*, unsigned int) { ::Sleep(300); }

std::atomic<int> callbacksEntered{0};
void __stdcall CountingSlowCallback(const void*, unsigned int) {
    ++callbacksEntered;
    ::Sleep(400);
}

TEST(Reload, HundredsOfCyclesLeaveThreadsAndHandlesFlat) {
    PeerProcess peer({L"-c", L"answer 1014 payload=answer"});
    ASSERT_NE(peer.Window(), nullptr);
    int threadsBaseline = 0;
    DWORD handlesBaseline = 0;
    const int cycles = Scaled(200);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        BridgeLibrary library;
        ASSERT_TRUE(library.Loaded()) << "cycle " << cycle;
        // Every fourth cycle runs the callback worker too.
        const bool withWorker = cycle % 4 == 3;
        ASSERT_EQ(library.init(0, "", withWorker ? 0 : 1, withWorker ? &SlowCallback : nullptr), 200)
            << "cycle " << cycle;
        ASSERT_STREQ(library.sendrequest("hello", 5), "answer") << "cycle " << cycle;
        library.Unload();
        if (cycle == 3) {
            // Counted once the system's own lazily started threads and
            // handles (RPC, the desktop) exist.
            ::Sleep(200);
            threadsBaseline = ThreadCount();
            handlesBaseline = HandleCount();
        }
    }
    for (int i = 0; i < 50 && ThreadCount() > threadsBaseline; ++i) ::Sleep(20);
    EXPECT_LE(ThreadCount(), threadsBaseline);
    EXPECT_LE(HandleCount(), handlesBaseline + 8) << "handles leak per cycle";
}

TEST(Reload, UnloadRightAfterLoadIsSafe) {
    // A host that probes the library and lets go at once: the loop thread
    // must never be left to start in unmapped code.
    const int threadsBefore = ThreadCount();
    for (int cycle = 0; cycle < Scaled(300); ++cycle) {
        BridgeLibrary library;
        ASSERT_TRUE(library.Loaded()) << "cycle " << cycle;
        if (cycle % 2 == 1) {
            EXPECT_EQ(library.iswcalive(), 8);  // a call that sends nothing
        }
    }
    for (int i = 0; i < 50 && ThreadCount() > threadsBefore; ++i) ::Sleep(20);
    EXPECT_LE(ThreadCount(), threadsBefore);
}

TEST(Reload, UnloadWhileTheHostsCallbackRuns) {
    PeerProcess peer;
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 0, &CountingSlowCallback), 200);
    ASSERT_TRUE(peer.Command("serve narrow \"slow one\""));
    for (int i = 0; i < 300 && callbacksEntered == 0; ++i) ::Sleep(10);
    ASSERT_EQ(callbacksEntered.load(), 1);
    // The callback is still sleeping: the unload waits for it to return.
    library.Unload();
    ::Sleep(600);  // a crash would come when the callback returned into unloaded code
    BridgeLibrary again;
    ASSERT_EQ(again.init(0, "", 1, nullptr), 200);
    EXPECT_EQ(again.iswcalive(), 200);
}

TEST(HungPeer, IsReportedNotDeliveredWhileASlowPeerIsWaitedFor) {
    PeerProcess peer({L"-c", L"answer 1020 busy=1500"});
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);

    // Alive but slow: spends 1.5 s on the message, and is waited for.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(library.iswcalive(), 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms);

    // Hung: its thread has not looked at its messages for over five seconds.
    ASSERT_TRUE(peer.Command("hang 9000"));
    ::Sleep(5600);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(library.iswcalive(), 6);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the host's thread is not held by a hung peer";
}

TEST(PeerGone, WorkerShowsTheBoxOnItsOwnThreadAndTheHostStaysResponsive) {
    BridgeLibrary library;
    {
        PeerProcess peer;
        ASSERT_NE(peer.Window(), nullptr);
        ASSERT_EQ(library.init(0, "", 0, &SlowCallback), 200);
    }
    MessageBoxWatcher watcher(2);
    for (int i = 0; i < 500 && watcher.Count() < 2; ++i) ::Sleep(10);
    const SeenMessageBox box = watcher.Last();
    EXPECT_EQ(watcher.Count(), 2) << "each poll shows the box again once the previous one is closed";
    EXPECT_NE(box.threadId, ::GetCurrentThreadId());

    // The host's own thread is not held by the worker's box.
    const auto start = std::chrono::steady_clock::now();
    char buffer[8];
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(library.getrequestmessage(buffer, &length), 16);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);

    // Unloading with a box open on the worker's thread closes it for the user.
    const auto unloadStart = std::chrono::steady_clock::now();
    library.Unload();
    EXPECT_LT(std::chrono::steady_clock::now() - unloadStart, 3s);
}

}  // namespace
}  // namespace vtx::test
