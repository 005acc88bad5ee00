// A host may unload vtxbridge.dll (FreeLibrary) and load it again. The
// library's own threads must then be out of its code before it is unmapped;
// a thread still inside crashes the host, or ends it without a word.
#include "exports_fixture.h"

namespace vtx::test {
namespace {

constexpr wchar_t kChildVariable[] = L"VTX_EXPORTS_UNLOAD_CHILD";
constexpr int kCycles = 150;
constexpr char kCompleted[] = "unload cycles completed";

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
            const auto base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(L"vtxbridge.dll"));
            const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
                base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
            std::printf("vtxbridge.dll mapped at %p-%p\n", static_cast<const void*>(base),
                        static_cast<const void*>(base + headers->OptionalHeader.SizeOfImage));
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

// The race shows in some runs only: two children are run, and the
// first that does not complete its cycles is the failure.
TEST(LibraryUnload, RepeatedUnloadsLeaveNoThreadRunningInTheUnmappedLibrary) {
    if (GetEnvironmentVariableW(kChildVariable, nullptr, 0) != 0) {
        RunUnloadCycles();
        return;
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE("child run " + std::to_string(run));
        // This test again, in a child process of this executable.
        const ChildProcess::Outcome child = ChildProcess::Run(
            ChildProcess::ThisProgram(), {L"--gtest_filter=" + std::wstring(name.begin(), name.end())}, 75s,
            {{kChildVariable, L"1"}});
        ASSERT_TRUE(child.ended) << "the child hung:\n" << Report(child.output, 6);
        const bool completed = child.output.find(kCompleted) != std::string::npos;
        ASSERT_TRUE(completed && child.exitCode == 0)
            << "the host process died during load/unload cycles (exit code " << child.exitCode
            << "; 3 = crash report, 0 without the completion line = ended without a word):\n"
            << Report(child.output, 4);
    }
}

}  // namespace
}  // namespace vtx::test
