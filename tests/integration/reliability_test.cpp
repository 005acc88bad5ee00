// The library inside a host that runs all day: whatever the peer or another
// process sends, however often the host loads and unloads it, it must not
// crash, hang past its contract, lose or mix up an answer, or keep growing.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
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
#include "support/process_windows.h"
#include "support/unique_handle.h"
#include "transport/window_names.h"

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
    // The other host sends while this one does, to the same peer; each
    // pairs answers in its own tables.
    ChildProcess other(L"vtxtesthost.exe", {L"requests", std::to_wstring(Scaled(300)), L"other"});
    ASSERT_TRUE(other.Started());
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
    EXPECT_EQ(EchoRound(library, "this", Scaled(300)), 0);
    EXPECT_EQ(other.WaitForExit(60s * reliabilityScale), std::optional<DWORD>(0)) << "the other host got an answer that was not its own";
}

// Answers that come after their request took the first are not kept (those
// after a time-out: FailureExports.AnswersAfterAFailedSendOrATimeOutAreNotKept).
TEST(Memory, RepeatedAnswersAreNotKept) {
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
    ::Sleep(100);  // the last repeats arrive
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

// The four things a load could leave behind in the host process.
struct ProcessProbes {
    int threads = 0;
    DWORD tlsIndex = 0;
    std::uintptr_t handle = 0;
    SIZE_T addressSpace = 0;
};

ProcessProbes ReadProbes() {
    return ProcessProbes{ThreadCount(), NextTlsIndex(), LowestFreeHandle(), PrivateAddressSpace()};
}

// The reload checks below mean something only if each probe sees a leak.
TEST(Probes, EachSeesALeakMadeOnPurpose) {
    const ProcessProbes before = ReadProbes();
    const DWORD tls = ::TlsAlloc();
    const UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread thread([&event] { ::WaitForSingleObject(event.get(), INFINITE); });
    void* const reserved = ::VirtualAlloc(nullptr, 4 * kMiB, MEM_RESERVE, PAGE_NOACCESS);
    const ProcessProbes during = ReadProbes();
    ::SetEvent(event.get());
    thread.join();
    ::VirtualFree(reserved, 0, MEM_RELEASE);
    ::TlsFree(tls);

    EXPECT_GT(during.tlsIndex, before.tlsIndex);
    EXPECT_GT(during.handle, before.handle);
    EXPECT_GT(during.threads, before.threads);
    EXPECT_GE(during.addressSpace, before.addressSpace + 4 * kMiB);
}

// Bridge windows of this process, found the way a second load would look.
int OwnBridgeWindows() {
    return static_cast<int>(WindowsOfProcess(HWND_MESSAGE, kBridgeClassName, ::GetCurrentProcessId()).size());
}

// One load, used one of three ways, and its unload. `Plain` loads and lets
// go at once (a host that probes the library), every other time after a
// call that sends nothing; `Session` and `CallbackWorker` (a session with a
// callback, so the worker runs) send in both forms. Either way the loop
// destroys its window and unregisters its class before the unload returns,
// so a reload can register it again.
enum class ReloadWay { Plain, Session, CallbackWorker };

void LoadUseUnload(ReloadWay way, int cycle) {
    BridgeLibrary library;
    ASSERT_TRUE(library.Loaded()) << "cycle " << cycle;
    if (way == ReloadWay::Plain) {
        if (cycle % 2 == 1) {
            EXPECT_EQ(library.iswcalive(), 8) << "cycle " << cycle;  // a call that sends nothing
        }
        return;
    }
    const bool withWorker = way == ReloadWay::CallbackWorker;
    ASSERT_EQ(library.init(0, "", withWorker ? 0 : 1, withWorker ? &SlowCallback : nullptr), 200) << "cycle " << cycle;
    ASSERT_STREQ(library.sendrequest("hello", 5), "answer") << "cycle " << cycle;
    ASSERT_STREQ(library.sendrequestw(L"hello", 5), L"answer") << "cycle " << cycle;
    ASSERT_EQ(OwnBridgeWindows(), 1) << "cycle " << cycle;
    library.Unload();
    EXPECT_EQ(OwnBridgeWindows(), 0) << "cycle " << cycle << ": the loop left its window";
    WNDCLASSW info{};
    EXPECT_FALSE(::GetClassInfoW(::GetModuleHandleW(nullptr), kBridgeClassName, &info))
        << "cycle " << cycle << ": the class is still registered";
}

// A host may load and unload the library all day, each of the three ways:
// no load may leave a TLS index (about a thousand exist per process), a
// handle, a thread or address space behind. A soak run (--scale=50) makes
// each way over 5000 cycles.
TEST(Reload, CyclesLeaveNoTlsIndexHandleThreadOrAddressSpace) {
    constexpr ReloadWay kWays[] = {ReloadWay::Plain, ReloadWay::Session, ReloadWay::CallbackWorker};
    PeerProcess peer({L"-c", L"answer 1014,2014 payload=answer"});
    ASSERT_NE(peer.Window(), nullptr);
    // Counted once the system's own lazily made threads and handles (RPC,
    // the desktop) exist.
    for (int cycle = 0; cycle < 6; ++cycle) LoadUseUnload(kWays[cycle % 3], cycle);
    ::Sleep(200);
    const ProcessProbes before = ReadProbes();
    const int cycles = Scaled(300);
    for (int cycle = 0; cycle < cycles && !::testing::Test::HasFatalFailure(); ++cycle) {
        LoadUseUnload(kWays[cycle % 3], cycle);
    }
    // Ended threads finish their exit once the unload has let go.
    for (int i = 0; i < 100 && ThreadCount() > before.threads; ++i) ::Sleep(20);
    const ProcessProbes after = ReadProbes();
    EXPECT_EQ(after.tlsIndex, before.tlsIndex) << "TLS indexes leak";
    // Slack for a few handles the system makes on its own; one per cycle of
    // a way would be a hundred.
    EXPECT_LE(after.handle, before.handle + 16) << "handles leak: " << before.handle << " -> " << after.handle;
    EXPECT_LE(after.threads, before.threads);
    // A thread stack left per cycle would be over 100 MiB, the spare
    // envelopes of both forms kept per session about 60 MiB.
    EXPECT_LT(after.addressSpace, before.addressSpace + 24 * kMiB)
        << "grew from " << before.addressSpace / kMiB << " to " << after.addressSpace / kMiB << " MiB";
}

// Other programs may take the named mutexes "Response" and "ServerRequest"
// (the library creates them, and any process of the session can open them):
// one started here holds each until the test ends it.
class ForeignMutexHolders {
public:
    ForeignMutexHolders() {
        holders_.reserve(2);
        for (const wchar_t* name : {L"Response", L"ServerRequest"}) {
            holders_.emplace_back(L"vtxtesthost.exe", std::vector<std::wstring>{L"hold-mutex", name, L"120000"});
        }
    }
    // True once both are held by the other processes (a busy machine may
    // take seconds to start them).
    bool Holding() const {
        for (int i = 0; i < 2000; ++i) {
            if (IsHeldElsewhere(L"Response") && IsHeldElsewhere(L"ServerRequest")) return true;
            ::Sleep(10);
        }
        return false;
    }
    // Ends the holders: the mutexes are abandoned, and anything that waited
    // on them would run on now.
    void Release() { holders_.clear(); }

private:
    static bool IsHeldElsewhere(const wchar_t* name) {
        const UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name));
        if (!mutex) return false;
        const DWORD status = ::WaitForSingleObject(mutex.get(), 0);
        // Free: the look took it, and gives it back at once.
        if (status == WAIT_OBJECT_0 || status == WAIT_ABANDONED) ::ReleaseMutex(mutex.get());
        return status == WAIT_TIMEOUT;
    }
    std::vector<ChildProcess> holders_;
};

bool WaitForServerRequest(BridgeLibrary& library, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    char buffer[256];
    do {
        unsigned int length = sizeof(buffer);
        if (library.getrequestmessage(buffer, &length) == 200) return true;
        ::Sleep(5);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

// Nothing of the library waits for the holders: requests, answers and
// server requests go on at full speed, and an unload while server requests
// arrive leaves nothing running in the old image, even once the mutexes
// are let go.
TEST(ForeignMutexHolder, NothingWaitsForTheHoldersNotEvenTheUnload) {
    PeerProcess peer;
    ASSERT_NE(peer.Window(), nullptr);
    {
        BridgeLibrary library;
        ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
        ForeignMutexHolders holders;
        ASSERT_TRUE(holders.Holding());

        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(EchoRound(library, "held", 50), 0);
        EXPECT_EQ(library.iswcalive(), 200);
        ASSERT_TRUE(peer.Command("serve narrow \"while held\""));
        EXPECT_TRUE(WaitForServerRequest(library, 2s));
        // Each of these takes a millisecond or two; waiting on a held mutex
        // would take the holder's two minutes.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

        ASSERT_TRUE(peer.Command("every 2 serve narrow \"arriving\""));
        ::Sleep(300);  // server requests keep arriving at the bridge window
        ImageFence image;
        const auto unloadStart = std::chrono::steady_clock::now();
        library.Unload();
        ASSERT_TRUE(image.Close()) << "the image is still mapped";
        EXPECT_LT(std::chrono::steady_clock::now() - unloadStart, 3s);
        ASSERT_TRUE(peer.Command("stop-timers"));

        // A library thread left waiting on a mutex would resume now.
        holders.Release();
        ::Sleep(500);
    }
    BridgeLibrary again;
    ASSERT_EQ(again.init(0, "", 1, nullptr), 200);
    EXPECT_EQ(again.iswcalive(), 200);
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
