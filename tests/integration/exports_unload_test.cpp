// A host may unload vtxbridge.dll (FreeLibrary) at any moment and load it
// again. The library's own threads must then be out of its code before it
// is unmapped; a thread still inside crashes the host, or ends it without a
// word. The races run their unloads in a child process, so that the child's
// report says how far it got. (What many loads must not leave behind:
// Reload in reliability_test.cpp.)
#include <atomic>

#include "exports_fixture.h"
#include "support/process_counts.h"

namespace vtx::test {
namespace {

constexpr wchar_t kChildVariable[] = L"VTX_EXPORTS_UNLOAD_CHILD";
constexpr int kCycles = 150;
constexpr char kCompleted[] = "unload cycles completed";

bool InChild() { return GetEnvironmentVariableW(kChildVariable, nullptr, 0) != 0; }

// Threads that keep the processor busy while they live, so a library thread
// may lose it at any instruction, as on a loaded machine.
class BusyProcessors {
public:
    explicit BusyProcessors(unsigned int count) {
        for (unsigned int i = 0; i < count; ++i) {
            threads_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed)) {
                }
            });
        }
    }
    ~BusyProcessors() {
        stop_ = true;
        for (auto& thread : threads_) thread.join();
    }
    BusyProcessors(const BusyProcessors&) = delete;
    BusyProcessors& operator=(const BusyProcessors&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// The child's part: load, use and unload the library over and over, saying
// where it is mapped and how far it got. Each unload stops the message loop
// thread, and every second cycle the callback worker too.
void RunUnloadCycles() {
    InstallCrashReport();
    PeerProcess peer;
    ASSERT_NE(peer.Window(), nullptr);
    // One processor for all threads of this process, shared with busy
    // threads: a library thread that has just woken the unloading thread
    // often loses the processor to it before leaving the library's code.
    SetProcessAffinityMask(GetCurrentProcess(), 1);
    const BusyProcessors busy(2);

    for (int cycle = 0; cycle < kCycles; ++cycle) {
        BridgeLibrary library;
        ASSERT_TRUE(library.Loaded()) << "cycle " << cycle;
        if (cycle == 0) {
            const ImageFence image;
            std::printf("vtxbridge.dll mapped at %p-%p\n", static_cast<const void*>(image.Base()),
                        static_cast<const void*>(image.End()));
        }
        if (cycle % 2 == 1) {
            ASSERT_EQ(library.init(0, "", 0, &RecordNarrowCallback), kOk) << "cycle " << cycle;
        }
        library.Unload();
        std::printf("unloaded %d\n", cycle);
        std::fflush(stdout);
    }
    std::printf("%s\n", kCompleted);
    std::fflush(stdout);
}

// The last `count` lines of a text.
std::string Tail(const std::string& text, int count) {
    std::size_t start = text.size();
    for (int i = 0; i <= count && start != 0; ++i) {
        const auto newline = text.rfind('\n', start - 1);
        if (newline == std::string::npos) return text;
        start = newline;
    }
    return text.substr(start + 1);
}

// The end of the child's output, led by the line saying where the library
// was mapped, to place a crash address.
std::string Report(const std::string& output, int lines) {
    const std::string tail = Tail(output, lines);
    const auto start = output.find("vtxbridge.dll mapped at");
    if (start == std::string::npos || tail.find("vtxbridge.dll mapped at") != std::string::npos) return tail;
    return output.substr(start, output.find('\n', start) - start + 1) + "...\n" + tail;
}

// The running test again, in a child process of this executable.
ChildProcess::Outcome RunThisTestInChild(std::chrono::milliseconds timeout) {
    return ChildProcess::RunThisTestAgain({{kChildVariable, L"1"}}, timeout);
}

// The race shows in some runs only: two children are run, and the
// first that does not complete its cycles is the failure.
TEST(LibraryUnload, RepeatedUnloadsLeaveNoThreadRunningInTheUnmappedLibrary) {
    if (InChild()) {
        RunUnloadCycles();
        return;
    }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE("child run " + std::to_string(run));
        const ChildProcess::Outcome child = RunThisTestInChild(75s);
        ASSERT_TRUE(child.ended) << "the child hung:\n" << Report(child.output, 6);
        const bool completed = child.output.find(kCompleted) != std::string::npos;
        ASSERT_TRUE(completed && child.exitCode == 0)
            << "the host process died during load/unload cycles (exit code " << child.exitCode
            << "; 3 = crash report, 0 without the completion line = ended without a word):\n"
            << Report(child.output, 4);
    }
}

// The host unloads while its callback runs: the unload waits for the
// callback to return, then stops the worker at once (its pause is cut
// short), and no library thread outlives it. The unload tells the peer
// nothing. A new load starts nothing until it sends, and works. A callback
// that never returns holds an unload five seconds, no longer.
std::atomic<int> slowCallbacksEntered{0};

void VTX_CALL SlowCallback(const void*, unsigned int) {
    ++slowCallbacksEntered;
    std::this_thread::sleep_for(400ms);
}

// Never returns: it would return into unloaded code. The process's end
// ends it.
void VTX_CALL EndlessCallback(const void*, unsigned int) {
    ++slowCallbacksEntered;
    for (;;) std::this_thread::sleep_for(1h);
}

TEST(LibraryUnload, WaitsForTheHostsCallbackThenStopsTheWorkerAtOnce) {
    InstallCrashReport();
    const TempDirectory records(L"vtxunload");
    PeerProcess peer({L"--record", records.Path()});
    ASSERT_NE(peer.Window(), nullptr);
    const int threadsBefore = ThreadCount();
    {
        BridgeLibrary library;
        ASSERT_EQ(library.init(0, "", 0, &SlowCallback), kOk);
        ASSERT_TRUE(peer.Command("serve narrow \"slow one\""));
        ASSERT_TRUE(WaitUntil([] { return slowCallbacksEntered.load() == 1; }, kPatience));
        const std::size_t received = ReadRecords(records.Path()).size();
        const auto start = std::chrono::steady_clock::now();
        library.Unload();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the worker's pause is not cut short";
        std::this_thread::sleep_for(600ms);  // a crash would come when the callback returned into unloaded code
        EXPECT_EQ(ReadRecords(records.Path()).size(), received) << "the unload sent the peer a message";
    }
    ASSERT_TRUE(WaitUntil([&] { return ThreadCount() <= threadsBefore; }, 1s)) << "a library thread outlived the unload";
    {
        const std::size_t received = ReadRecords(records.Path()).size();
        BridgeLibrary again;
        std::this_thread::sleep_for(200ms);  // for a thread the load might have started
        // Without a thread of its own the library can have no window either.
        EXPECT_LE(ThreadCount(), threadsBefore) << "the load started a thread";
        EXPECT_EQ(ReadRecords(records.Path()).size(), received) << "the load sent the peer a message";
        ASSERT_EQ(again.init(0, "", 1, nullptr), kOk);
        EXPECT_EQ(again.iswcalive(), kOk);
    }

    BridgeLibrary held;
    ASSERT_EQ(held.init(0, "", 0, &EndlessCallback), kOk);
    ASSERT_TRUE(peer.Command("serve narrow \"never returns\""));
    ASSERT_TRUE(WaitUntil([] { return slowCallbacksEntered.load() == 2; }, kPatience));
    const auto start = std::chrono::steady_clock::now();
    held.Unload();
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(took.count(), 4500) << "the unload left a callback under way after so many ms";
    EXPECT_LT(took.count(), 7000) << "the unload waited so many ms for the callback";
}

// --- An unload while the host's callback waits in an export -----------------
//
// The callback answers its server request with vtx_sendresponsew, as the API
// reference invites; the peer takes 500 ms over that answer and never replies.
// The host unloads without vtx_deinit while the export is still delivering
// (or, when the peer handled it before returning from the test's `serve`,
// already waiting for the peer's reply):
// the export must give up its wait (14) at once, return into the callback and
// let the worker end, all before FreeLibrary returns.
constexpr char kCallbackUnloadCompleted[] = "the host outlived the unload";

std::atomic<decltype(&vtx_sendresponsew)> respondThroughLibrary{nullptr};
std::atomic<bool> respondingCallbackEntered{false};
// What vtx_sendresponsew returned, set as the callback's last act; -1 until then.
std::atomic<int> respondingCallbackResult{-1};

void VTX_CALL RespondingCallback(const void*, unsigned int) {
    respondingCallbackEntered = true;
    respondingCallbackResult = respondThroughLibrary.load()(L"{\"signed\":true}", 0);
}

void UnloadWhileTheCallbackResponds() {
    InstallCrashReport();
    PeerProcess peer({L"-c", L"answer 2006 silent busy=500"});
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_TRUE(library.Loaded());
    respondThroughLibrary = library.sendresponsew;
    ASSERT_EQ(library.initw(0, L"", 0, &RespondingCallback), kOk);
    ASSERT_TRUE(peer.Command("serve wide \"sign this\""));
    ASSERT_TRUE(WaitUntil([] { return respondingCallbackEntered.load(); }, kPatience));
    std::this_thread::sleep_for(100ms);  // the peer is busy with the answer

    ImageFence image;
    const auto start = std::chrono::steady_clock::now();
    library.Unload();
    const bool fenced = image.Close();
    const auto unloadTook =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(fenced) << "the image is still mapped";
    EXPECT_LT(unloadTook, 3s) << "the unload took " << unloadTook.count() << " ms";
    EXPECT_EQ(respondingCallbackResult.load(), kTimedOut) << "the export had not returned into the callback";
    // A worker left in the export would come back into the old image now.
    WaitUntil([] { return respondingCallbackResult.load() != -1; }, 8s);
    std::this_thread::sleep_for(300ms);
    std::printf("%s\n", kCallbackUnloadCompleted);
    std::fflush(stdout);
}

TEST(LibraryUnload, EndsAnExportsWaitInsideTheCallbackAndTheHostLives) {
    if (InChild()) {
        UnloadWhileTheCallbackResponds();
        return;
    }
    const ChildProcess::Outcome child = RunThisTestInChild(60s);
    ASSERT_TRUE(child.ended) << "the child hung:\n" << child.output;
    const bool completed = child.output.find(kCallbackUnloadCompleted) != std::string::npos;
    EXPECT_TRUE(completed && child.exitCode == 0)
        << "exit code " << child.exitCode << " (3 = crash report):\n" << child.output;
}

}  // namespace
}  // namespace vtx::test
