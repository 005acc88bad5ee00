// A hostile desktop: another program of the same user does what it can to a
// host through the desktop and the files they share (docs/security.md), and
// the host keeps every promise. vtxhostile.exe plays that program.
#include "exports_fixture.h"
#include "support/child_process.h"
#include "support/process_windows.h"
#include "support/raw_window.h"
#include "support/log_limiter.h"
#include "support/scoped_folder.h"
#include "transport/window_names.h"

namespace vtx::test {
namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

Milliseconds TimeOf(const std::function<void()>& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::steady_clock::now() - start;
}

// Whether process `processId` refuses to be opened for the queries that
// judge a peer: its windows then cannot be judged.
bool Unjudgeable(DWORD processId) {
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    return !process && GetLastError() == ERROR_ACCESS_DENIED;
}

// Whether another process holds the byte the library locks for each append
// to `log`.
bool AppendLockHeldElsewhere(const std::wstring& log) {
    const UniqueFile file(CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    OVERLAPPED range{};
    range.OffsetHigh = 0x7FFFFFFF;
    if (!file || LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
        return false;  // the handle's close lets go of the lock just taken
    }
    return GetLastError() == ERROR_LOCK_VIOLATION;
}

constexpr char kNoPeerLine[] = "[SendMessageCopyData] Not found VantixConnect handle.";
constexpr std::size_t kPerSecond = LogLimiter::kLinesPerWindow;

// How many lines of a kind ("refused messages") the log's limit left out,
// as its summary lines count them.
std::size_t LeftOut(const std::vector<std::string>& lines, const std::string& kind) {
    // %n is reached only when the whole summary matched, the kind included.
    const std::string summary = "[WriteLog] %d more " + kind + " within one second were not written.%n";
    std::size_t leftOut = 0;
    for (const std::string& line : lines) {
        int more = 0;
        int matched = 0;
        if (std::sscanf(line.c_str(), summary.c_str(), &more, &matched) == 1 &&
            static_cast<std::size_t>(matched) == line.size()) {
            leftOut += static_cast<std::size_t>(more);
        }
    }
    return leftOut;
}

class HostileDesktop : public ExportsTest {
protected:
    // A polling session whose peer has gone.
    void LoseThePeer() {
        ASSERT_NO_FATAL_FAILURE(StartPeer(false));
        ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
        ASSERT_NO_FATAL_FAILURE(EndPeer());
    }

    // The host polls and checks the peer for `duration` without it, while
    // the run-the-peer-first box stays up on another thread (a user away
    // from the screen): every call then fails at once, with a line or two
    // in the log.
    void CallWithTheBoxUp(std::chrono::milliseconds duration) {
        const auto poll = [this] {
            char buffer[16];
            unsigned int length = sizeof(buffer);
            return Lib().getrequestmessage(buffer, &length);
        };
        std::thread boxed(poll);
        const bool boxUp = WaitUntil(
            [] {
                const HWND box = FindWindowW(L"#32770", kRunPeerFirstCaption);
                return box != nullptr && IsWindowVisible(box);
            },
            kPatience);
        const auto deadline = std::chrono::steady_clock::now() + duration;
        while (boxUp && std::chrono::steady_clock::now() < deadline) {
            EXPECT_EQ(poll(), kNothingQueued);
            EXPECT_EQ(Lib().iswcalive(), kNotDelivered);
        }
        MessageBoxWatcher closer;
        boxed.join();
        ASSERT_TRUE(boxUp) << "no run-the-peer-first box came up";
    }

    // The median time of `count` alive checks, each answered.
    Milliseconds MedianSend(int count) {
        std::vector<Milliseconds> took;
        for (int i = 0; i < count; ++i) took.push_back(TimeOf([&] { EXPECT_EQ(Lib().iswcalive(), kOk); }));
        std::sort(took.begin(), took.end());
        return took[took.size() / 2];
    }
};

// Another process overwrites the bridge window's GWLP_USERDATA (with an
// address, or with 0), sends it a WM_NCCREATE of its own, or posts it a
// WM_CLOSE and its thread a WM_QUIT: the host goes on taking answers and
// server requests.
TEST_F(HostileDesktop, BridgeWindowOutlivesForeignWritesAndMessages) {
    ASSERT_NO_FATAL_FAILURE(StartPeer(false));
    ASSERT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    const HWND bridge = BridgeWindowOf(GetCurrentProcessId());
    ASSERT_NE(bridge, nullptr);
    const std::wstring window = std::to_wstring(reinterpret_cast<std::uintptr_t>(bridge));
    const std::vector<std::vector<std::wstring>> attacks = {{L"set-userdata", window, L"0x41414140"},
                                                            {L"set-userdata", window, L"0"},
                                                            {L"forge-nccreate", window, L"0x41414140"}};
    std::size_t served = 0;
    for (const auto& attack : attacks) {
        SCOPED_TRACE(ToUtf8(attack[0] + L" " + attack[2]));
        const auto attacker = ChildProcess::RunToEnd(L"vtxhostile.exe", attack, kPatience);
        ASSERT_TRUE(attacker && attacker->exitCode == 0) << "the attack was not carried out";
        ASSERT_EQ(Lib().iswcalive(), kOk) << "the host takes no answer";
        ASSERT_TRUE(Peer("serve narrow served")) << "the bridge window refused a server request";
        ASSERT_TRUE(CallbackLog::Instance().WaitFor(++served, kPatience)) << "the callback got no server request";
    }

    ASSERT_TRUE(PostMessageW(bridge, WM_CLOSE, 0, 0));
    ASSERT_TRUE(PostThreadMessageW(GetWindowThreadProcessId(bridge, nullptr), WM_QUIT, 0, 0));
    // Posted messages wait behind sent ones: give the loop time to take them.
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(IsWindow(bridge));
    EXPECT_EQ(Lib().iswcalive(), kOk) << "the host takes no answer";
    ASSERT_TRUE(Peer("serve narrow served"));
    EXPECT_TRUE(CallbackLog::Instance().WaitFor(++served, kPatience)) << "the callback got no server request";
}

// A peer, or any other program, sends the bridge window messages it refuses:
// each refusal is logged with its reason, and a flood of them is cut to five
// lines a second, the rest counted. Answers nobody waits for, sent meanwhile,
// have limits and counts of their own: every one is written or counted as
// such, and neither flood silences the other.
TEST_F(HostileDesktop, RefusedMessagesAreLoggedAndLimited) {
    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    const ScopedCurrentFolder folder;
    ASSERT_NO_FATAL_FAILURE(StartPeer(false));
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    // A length the library refuses: the bridge window answers 0, which fails
    // the peer's command.
    EXPECT_FALSE(Peer("serve wide refused length=0")) << "the bridge window took it";
    const std::string refused = "[BridgeWindowProc] Refused message 2009 (" + std::to_string(sizeof(MessageEnvelopeW)) +
                                " bytes): its length does not fit its text.";
    EXPECT_EQ(LinesStartingWith(ReadFallbackLog(), refused), 1u);

    ASSERT_TRUE(Peer("every 5 serve wide flood length=0"));
    constexpr std::size_t kUnwanted = 100;
    const RawWindow stranger;
    const auto unwanted = MakeBlankEnvelope<MessageEnvelope>();
    for (std::size_t i = 0; i < kUnwanted; ++i) {
        EXPECT_EQ(stranger.SendEnvelope(BridgeWindowOf(GetCurrentProcessId()), AnswerCode(code::kIsAlive), *unwanted), 1);
    }
    std::this_thread::sleep_for(2500ms);
    ASSERT_TRUE(Peer("stop-timers"));
    std::this_thread::sleep_for(1100ms);  // the last second ends...
    EXPECT_FALSE(Peer("serve wide last length=0"));  // ...and the next line reports it
    const std::vector<std::string> lines = ReadFallbackLog();
    EXPECT_LE(LinesStartingWith(lines, refused), 1u + kPerSecond * 5u) << "more than five a second, about four seconds";
    EXPECT_GT(LeftOut(lines, "refused messages"), 0u) << "the flood was not counted";
    const std::size_t dropped = LinesStartingWith(lines, "[StoreResponse] Dropped an answer nobody waited for");
    EXPECT_GE(dropped, kPerSecond);
    EXPECT_EQ(dropped + LeftOut(lines, "answers nobody waited for"), kUnwanted);
}

// The log's folder (the host's current folder, as the library's own is absent)
// is swapped for a link to another folder and back, over and over, while
// the host writes lines: none reaches the other folder, and no file is left
// there.
TEST_F(HostileDesktop, LogFolderSwappedForALinkSendsNoLineElsewhere) {
    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    const ScopedCurrentFolder folder;
    const std::optional<std::string> unixFolder = UnixPathOf(folder.Path());
    if (!unixFolder) GTEST_SKIP() << "Windows keeps a process's current folder open: it cannot be swapped";
    const TempDirectory elsewhere(L"vtxelsewhere");
    ASSERT_TRUE(CreateDirectoryW(elsewhere.Path().c_str(), nullptr));
    const std::wstring link = folder.Path() + L".link";
    if (!MakeSymbolicLink(link, elsewhere.Path())) GTEST_SKIP() << "no symbolic link shows as a reparse point here";
    ASSERT_NO_FATAL_FAILURE(LoseThePeer());

    const std::wstring stop = folder.Path() + L".stop";
    const std::wstring done = folder.Path() + L".done";
    // A Unix program swaps the folders as fast as it can (no Windows handle
    // keeps it out), for a minute at most should this test end early.
    ASSERT_TRUE(StartUnixShell(
        "exec /usr/bin/perl -e 'my ($d, $l) = @ARGV; my $n = 0; while (!-e \"$d.stop\" && $n++ < 100000) {"
        " rename($d, \"$d.aside\"); rename($l, $d);"
        " rename($d, $l); rename(\"$d.aside\", $d); }"
        " unlink($l); open(my $done, \">\", \"$d.done\");' '" +
        *unixFolder + "' '" + *unixFolder + ".link'"));
    std::atomic<bool> polling{true};
    std::atomic<int> linksSeen{0};
    std::thread watch([&] {
        while (polling) {
            const DWORD attributes = GetFileAttributesW(folder.Path().c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) ++linksSeen;
            Sleep(1);
        }
    });
    CallWithTheBoxUp(5s);
    polling = false;
    watch.join();
    CloseHandle(CreateFileW(stop.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(WaitUntil([&] { return PathExists(done); }, kPatience)) << "the folder was not put back";
    DeleteFileW(stop.c_str());
    DeleteFileW(done.c_str());
    if (HasFatalFailure()) return;
    if (linksSeen == 0) GTEST_SKIP() << "the folder was never seen as a link";

    const std::wstring strayLog = elsewhere.File(FallbackLogName());
    const Bytes stray = ReadFileBytes(strayLog);
    EXPECT_FALSE(PathExists(strayLog)) << std::count(stray.begin(), stray.end(), '\n') << " lines went through the link";
    // With the folder back in place, lines are written there again.
    CallWithTheBoxUp(1200ms);
    EXPECT_GT(LinesStartingWith(ReadFallbackLog(), kNoPeerLine), 0u) << "no line was written at all";
}

// A reader of the log keeps the byte the library locks for each append: the
// host waits for it once, within the bound, then writes without it.
TEST_F(HostileDesktop, ForeignAppendLockCostsOneBoundedWait) {
    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    const ScopedCurrentFolder folder;
    ASSERT_NO_FATAL_FAILURE(StartPeer(false));
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_TRUE(Peer("answer * refuse"));  // every call fails with 6 and writes a line
    const std::wstring letGoName = L"vtxhostile-let-go-" + std::to_wstring(GetCurrentProcessId());
    const UniqueHandle letGo(CreateEventW(nullptr, TRUE, FALSE, letGoName.c_str()));
    ASSERT_TRUE(letGo);
    const std::wstring log = folder.Path() + L"\\" + FallbackLogName();
    const ChildProcess holder(L"vtxhostile.exe", {L"hold-log-lock", log, letGoName});
    ASSERT_TRUE(WaitUntil([&] { return AppendLockHeldElsewhere(log); }, kPatience)) << "vtxhostile took no lock";

    std::vector<Milliseconds> took;
    for (int i = 0; i < 5; ++i) took.push_back(TimeOf([&] { EXPECT_EQ(Lib().iswcalive(), kNotDelivered); }));
    SetEvent(letGo.get());
    EXPECT_EQ(holder.WaitForExit(kPatience), std::optional<DWORD>(0));
    EXPECT_LT(took[0].count(), 500) << "the first line waited past the bound";
    EXPECT_LT((took[1] + took[2] + took[3] + took[4]).count(), 150) << "each line waited for the lock again";
    EXPECT_EQ(LinesStartingWith(ReadFallbackLog(), "[vtx_iswcalive] Not delivered (6)"), 5u);
}

// A process that no one can open makes and destroys windows of the peer's
// class ahead of the peer: each is skipped, and no send misses the peer.
TEST_F(HostileDesktop, WindowsComingAndGoingAheadOfThePeerDoNotHideIt) {
    ASSERT_NO_FATAL_FAILURE(StartPeer(false));
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    const ChildProcess hostile(L"vtxhostile.exe", {L"deny-and-churn-windows"});
    ASSERT_TRUE(WaitUntil(
        [&] {
            DWORD owner = 0;
            GetWindowThreadProcessId(FindWindowW(kPeerClassName, nullptr), &owner);
            return owner == hostile.ProcessId();
        },
        kPatience))
        << "no window of vtxhostile ahead of the peer";
    if (!Unjudgeable(hostile.ProcessId())) GTEST_SKIP() << "a process that denies everyone can be opened here";

    MessageBoxWatcher watcher(1000);
    int failed = 0;
    for (int i = 0; i < 1000; ++i) failed += Lib().iswcalive() != kOk ? 1 : 0;
    watcher.Stop();
    EXPECT_EQ(failed, 0) << watcher.Count() << " run-the-peer-first boxes";
}

// Two thousand windows of the peer's class that cannot be judged lie ahead
// of the peer: once the peer is found, a send costs about what it did.
TEST_F(HostileDesktop, ManyUnjudgeableWindowsAheadOfThePeerDoNotSlowEachSend) {
    ASSERT_NO_FATAL_FAILURE(StartPeer(false));
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    const Milliseconds before = MedianSend(20);
    // The peer restarts (a new window, which the library has to look for),
    // and the windows are made ahead of it.
    ASSERT_NO_FATAL_FAILURE(EndPeer());
    ASSERT_NO_FATAL_FAILURE(StartPeer(false));
    const ChildProcess hostile(L"vtxhostile.exe", {L"deny-and-make-windows", L"2000"});
    ASSERT_TRUE(WaitUntil([&] { return WindowsOfProcess(nullptr, kPeerClassName, hostile.ProcessId()).size() == 2000; },
                          30s))
        << "vtxhostile did not make its windows";
    if (!Unjudgeable(hostile.ProcessId())) GTEST_SKIP() << "a process that denies everyone can be opened here";

    {
        MessageBoxWatcher watcher;
        ASSERT_EQ(Lib().iswcalive(), kOk) << "the peer behind the windows was not found";
    }
    const Milliseconds behind = MedianSend(20);
    // Loosely, for a loaded machine: a walk past the windows costs a send
    // hundreds of milliseconds under Wine.
    EXPECT_LE(behind.count(), 4 * before.count() + 5) << "a send took " << before.count() << " ms before";
}

// A polling host without its peer, its box up, polls and checks the peer in
// a loop: the line each send that finds no peer writes is limited like every
// line another process can provoke, and what was left out is counted.
TEST_F(HostileDesktop, NoPeerLineIsLimited) {
    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    const ScopedCurrentFolder folder;
    ASSERT_NO_FATAL_FAILURE(LoseThePeer());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_NO_FATAL_FAILURE(CallWithTheBoxUp(5s));
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    const std::vector<std::string> lines = ReadFallbackLog();
    EXPECT_LE(LinesStartingWith(lines, kNoPeerLine), kPerSecond * static_cast<std::size_t>(seconds.count() + 1))
        << "more than five a second";
    EXPECT_GT(LeftOut(lines, "sends that found no peer"), 0u) << "the lines left out were not counted";
}

}  // namespace
}  // namespace vtx::test
