// When the peer is missing, refuses, never answers or answers with another
// status: codes 6 and 14, the message box, and statuses passed on unchanged.
#include <atomic>
#include <cstring>

#include "exports_fixture.h"
#include "support/import_patch.h"
#include "support/scoped_folder.h"

namespace vtx::test {
namespace {

using FailureExports = ExportsTest;

// Runs `call` with a watcher that closes the library's message box, and
// checks that exactly one box with the library's caption came up, or none.
void ExpectBoxes(const char* file, int line, const std::function<void()>& call, int boxes) {
    const ::testing::ScopedTrace trace(file, line, "message boxes");
    // A box blocks the call until the watcher has closed and counted it.
    MessageBoxWatcher watcher(boxes + 1);
    call();
    const SeenMessageBox last = watcher.Last();
    EXPECT_EQ(watcher.Count(), boxes);
    if (boxes > 0) {
        EXPECT_EQ(last.caption, kRunPeerFirstCaption);
        EXPECT_EQ(last.text, kRunPeerFirstText) << ToUtf8(last.text);
    }
}
#define EXPECT_BOXES(call, boxes) ExpectBoxes(__FILE__, __LINE__, call, boxes)

// The library's run-the-peer-first boxes of this process that are up now;
// `close` answers them as a user would.
struct BoxWalk {
    int boxes = 0;
    bool close = false;
};

BOOL CALLBACK CountBox(HWND window, LPARAM parameter) {
    auto& walk = *reinterpret_cast<BoxWalk*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    wchar_t caption[16] = {};
    GetClassNameW(window, className, 16);
    GetWindowTextW(window, caption, 16);
    if (owner == GetCurrentProcessId() && IsWindowVisible(window) && std::wstring(className) == L"#32770" &&
        std::wstring(caption) == kRunPeerFirstCaption) {
        ++walk.boxes;
        if (walk.close) PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

int BoxesUp(bool close = false) {
    BoxWalk walk{0, close};
    EnumWindows(&CountBox, reinterpret_cast<LPARAM>(&walk));
    return walk.boxes;
}

TEST_F(FailureExports, WithoutAPeerTheHostIsToldAndGetsSix) {
    const ScopedCurrentFolder folder;  // for the log
    // Nothing started: no window of the peer's class on this desktop.
    ASSERT_EQ(FindWindowW(kPeerClassName, nullptr), nullptr);
    const auto& l = Lib();
    EXPECT_BOXES([&] { EXPECT_EQ(l.init(1, "x", 1, nullptr), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.initw(1, L"x", 0, &RecordWideCallback), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.deinit(), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.login("a", "b"), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.loginw(0, L"a", L"b"), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.setbridgeid("id"), 0); }, 1);
    // The failed inits opened nothing: these stop at "no session", silently.
    EXPECT_BOXES([&] { EXPECT_EQ(l.iswcalive(), kNotOpen); }, 0);
    EXPECT_BOXES([&] { EXPECT_EQ(std::string(l.sendrequest("x", 1)), ErrorText(kNotOpen)); }, 0);
    EXPECT_BOXES([&] { EXPECT_EQ(std::string(l.getbridgeid()), ErrorText(kNotOpen)); }, 0);
    EXPECT_TRUE(CallbackLog::Instance().Calls().empty());

    // Each export that gave 6 says so, after the send's own line (the bridge
    // window is not looked up on this path); those that found no session
    // write nothing. Later lines may be held back by the log's limit.
    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    const std::vector<std::string> lines = WithoutRequestIds(ReadFallbackLog());
    const std::vector<std::string> expected = {
        "[SendMessageCopyData] Not found VantixConnect handle.",
        "[vtx_init] Not delivered (6): message 1000, request ID <id>.",
        "[SendMessageCopyData] Not found VantixConnect handle.",
        "[vtx_initw] Not delivered (6): message 2000, request ID <id>.",
    };
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), expected);
    for (const char* silent : {"[vtx_iswcalive]", "[vtx_sendrequest]", "[vtx_getbridgeid]"}) {
        EXPECT_EQ(LinesStartingWith(lines, silent), 0u) << silent;
    }
}

// The peer ends during a session: every export that sends says 6 (or the
// error text 6) after the box, buffers stay untouched, and the session
// stays open, working again once a peer is back.
TEST_F(FailureExports, PeerGoneDuringASessionGivesSixAndTheSessionSurvives) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_NO_FATAL_FAILURE(EndPeer());
    const auto& l = Lib();

    char buffer[64];
    wchar_t wide[64];
    std::fill(std::begin(buffer), std::end(buffer), kSentinel<char>);
    std::fill(std::begin(wide), std::end(wide), kSentinel<wchar_t>);
    unsigned int length = 64;
    const auto untouched = [&] {
        EXPECT_EQ(length, 64u);
        EXPECT_TRUE(AllSentinel(std::vector<char>(std::begin(buffer), std::end(buffer)), 0));
        EXPECT_TRUE(AllSentinel(std::vector<wchar_t>(std::begin(wide), std::end(wide)), 0));
    };

    EXPECT_BOXES([&] { EXPECT_EQ(std::string(l.sendrequest("x", 1)), ErrorText(kNotDelivered)); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(std::wstring(l.sendrequestw(L"x", 1)), ErrorTextW(kNotDelivered)); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.sendrequestparam("x", 1, buffer, &length), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.sendrequestparamw(L"x", 1, wide, &length), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.getjobid(buffer, &length), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.getjobidw(wide, &length), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.geterrorstring(3, buffer, &length), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.geterrorstringw(3, wide, &length), kNotDelivered); }, 1);
    untouched();
    EXPECT_BOXES([&] { EXPECT_EQ(l.sendresponse("x", 1), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.sendresponsew(L"x", 1), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.iswcalive(), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(std::string(l.getbridgeid()), ErrorText(kNotDelivered)); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.login("a", "b"), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.setbridgeid("id"), 0); }, 1);
    // The poll cannot go out, and nothing is queued.
    EXPECT_BOXES([&] { EXPECT_EQ(l.getrequestmessage(buffer, &length), kNothingQueued); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.getrequestmessagew(wide, &length), kNothingQueued); }, 1);
    untouched();
    EXPECT_BOXES([&] { EXPECT_EQ(l.deinit(), kNotDelivered); }, 1);
    EXPECT_BOXES([&] { EXPECT_EQ(l.init(1, "again", 1, nullptr), kAlreadyOpen); }, 0);

    // A new peer window: the same session carries on, also when the peer
    // restarts between two sends.
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(l.iswcalive(), kOk);
    EXPECT_EQ(std::string(l.sendrequest("back", 4)), "back");
    ASSERT_NO_FATAL_FAILURE(EndPeer());
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(std::string(l.sendrequest("again", 5)), "again");
}

// A peer whose window procedure returns 0 did not take the message: 6,
// without a message box, the buffer untouched, the session as it was.
TEST_F(FailureExports, PeerRefusingEveryMessageGivesSixWithoutABox) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const auto& l = Lib();
    ASSERT_TRUE(Peer("answer * refuse"));
    EXPECT_BOXES([&] { EXPECT_EQ(l.init(1, "x", 1, nullptr), kNotDelivered); }, 0);
    EXPECT_BOXES([&] { EXPECT_EQ(l.initw(1, L"x", 0, &RecordWideCallback), kNotDelivered); }, 0);
    EXPECT_EQ(l.iswcalive(), kNotOpen) << "a refused init opens nothing";
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(Records().size(), 2u) << "the two inits alone: no worker polls";
    ASSERT_TRUE(Peer("reset"));
    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    ASSERT_TRUE(Peer("answer * refuse"));

    EXPECT_BOXES([&] {
        EXPECT_EQ(std::string(l.sendrequest("x", 1)), ErrorText(kNotDelivered));
        EXPECT_EQ(std::wstring(l.sendrequestw(L"x", 1)), ErrorTextW(kNotDelivered));
        EXPECT_EQ(l.sendresponse("x", 1), kNotDelivered);
        EXPECT_EQ(l.sendresponsew(L"x", 1), kNotDelivered);
        EXPECT_EQ(l.login("a", "b"), kNotDelivered);
        EXPECT_EQ(l.loginw(0, L"a", L"b"), kNotDelivered);
        EXPECT_EQ(l.iswcalive(), kNotDelivered);
        EXPECT_EQ(std::string(l.getbridgeid()), ErrorText(kNotDelivered));
        EXPECT_EQ(l.setbridgeid("id"), 0);
        EXPECT_EQ(l.deinit(), kNotDelivered);
    }, 0);
    EXPECT_EQ(l.initw(1, L"x", 1, nullptr), kAlreadyOpen) << "the refused deinit closed nothing";
}

// Memory running out inside the library is reported as not delivered, at
// once: before its state exists (the first call of a load), and for a
// request whose answer it cannot wait for.
LPVOID WINAPI NoHeapBlock(HANDLE, DWORD, SIZE_T) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST_F(FailureExports, MemoryRunningOutInsideTheLibraryGivesSixAtOnce) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const HMODULE library = GetModuleHandleW(L"vtxbridge.dll");
    {
        const ImportPatch noMemory(library, "kernel32.dll", "HeapAlloc", reinterpret_cast<void*>(&NoHeapBlock));
        ASSERT_TRUE(noMemory.Applied()) << "the library's blocks come from HeapAlloc";
        EXPECT_EQ(Lib().init(1, "x", 1, nullptr), kNotDelivered);
    }
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    const ImportPatch noMemory(library, "kernel32.dll", "HeapAlloc", reinterpret_cast<void*>(&NoHeapBlock));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(std::string(Lib().sendrequest("x", 1)), ErrorText(kNotDelivered));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(Records().size(), 1u) << "the init alone";
}

// Statuses other than 200 reach the host unchanged where the status is the
// result, and are not looked at where the answer's text is.
TEST_F(FailureExports, PeerStatusesReachTheHostUnchanged) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    const auto& l = Lib();
    for (const int status : {201, 6, 14, 7, 16, 0, -1}) {
        SCOPED_TRACE("peer status " + std::to_string(status));
        ASSERT_TRUE(Peer("answer * status=" + std::to_string(status)));
        EXPECT_EQ(l.login("a", "b"), status);
        EXPECT_EQ(l.loginw(0, L"a", L"b"), status);
        EXPECT_EQ(l.iswcalive(), status);
        EXPECT_EQ(l.sendresponse("r", 0), status);
        EXPECT_EQ(l.sendresponsew(L"r", 0), status);
        EXPECT_EQ(l.deinit(), status) << "and the session stays open";
        EXPECT_EQ(l.init(1, "x", 1, nullptr), kAlreadyOpen);

        EXPECT_EQ(std::string(l.sendrequest("text", 4)), "text");
        EXPECT_EQ(std::wstring(l.sendrequestw(L"text", 4)), L"text");
        char buffer[16] = {};
        unsigned int length = sizeof(buffer);
        EXPECT_EQ(l.sendrequestparam("text", 4, buffer, &length), kOk);
        EXPECT_STREQ(buffer, "text");
        length = sizeof(buffer);
        EXPECT_EQ(l.getjobid(buffer, &length), kOk);
        EXPECT_STREQ(buffer, "JOB-0001");
        wchar_t wide[16] = {};
        length = 16;
        EXPECT_EQ(l.geterrorstringw(9, wide, &length), kOk);
        EXPECT_EQ(std::wstring(wide), L"error 9");
    }
}

// Every waiting export gives up after about five seconds. They wait side by
// side on threads of their own, so the test waits once.
TEST_F(FailureExports, SilentPeerTimesOutEveryWaitingExport) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    // Silent, but for an alive check answered under a request ID that is
    // not its own: that answer must not count.
    ASSERT_TRUE(Peer("answer * silent\nanswer 1020 id=00000000-0000-0000-0000-000000000000"));
    const auto& l = Lib();

    struct Waiting {
        const char* name;
        std::function<std::string()> call;
        std::string expected;
    };
    // Caller buffers: big enough for the error text (39 + terminator), or
    // one unit short of it.
    std::vector<char> fits(40, kSentinel<char>), shortBuffer(39, kSentinel<char>);
    std::vector<wchar_t> fitsW(40, kSentinel<wchar_t>), shortW(39, kSentinel<wchar_t>);
    unsigned int fitsLength = 40, shortLength = 39, fitsLengthW = 40, shortLengthW = 39;
    unsigned int jobLength = 40, jobLengthW = 39;
    std::vector<char> job(40, kSentinel<char>);
    std::vector<wchar_t> jobW(39, kSentinel<wchar_t>);
    const std::string fourteen = std::to_string(kTimedOut);
    const auto text = [](const auto* t) {
        using Char = std::remove_const_t<std::remove_pointer_t<decltype(t)>>;
        if constexpr (std::is_same_v<Char, char>) {
            return std::string(t);
        } else {
            return ToUtf8(t);
        }
    };

    std::vector<Waiting> waiting = {
        {"sendrequest", [&] { return text(l.sendrequest("x", 1)); }, ErrorText(kTimedOut)},
        {"sendrequestw", [&] { return text(l.sendrequestw(L"x", 1)); }, ErrorText(kTimedOut)},
        {"sendrequestparam", [&] { return std::to_string(l.sendrequestparam("x", 1, fits.data(), &fitsLength)); },
         fourteen},
        {"sendrequestparamw",
         [&] { return std::to_string(l.sendrequestparamw(L"x", 1, shortW.data(), &shortLengthW)); }, fourteen},
        {"getjobid", [&] { return std::to_string(l.getjobid(job.data(), &jobLength)); }, fourteen},
        {"getjobidw", [&] { return std::to_string(l.getjobidw(jobW.data(), &jobLengthW)); }, fourteen},
        {"geterrorstring", [&] { return std::to_string(l.geterrorstring(1, shortBuffer.data(), &shortLength)); },
         fourteen},
        {"geterrorstringw", [&] { return std::to_string(l.geterrorstringw(1, fitsW.data(), &fitsLengthW)); },
         fourteen},
        {"sendresponse", [&] { return std::to_string(l.sendresponse("x", 1)); }, fourteen},
        {"sendresponsew", [&] { return std::to_string(l.sendresponsew(L"x", 1)); }, fourteen},
        {"login", [&] { return std::to_string(l.login("a", "b")); }, fourteen},
        {"loginw", [&] { return std::to_string(l.loginw(0, L"a", L"b")); }, fourteen},
        {"iswcalive", [&] { return std::to_string(l.iswcalive()); }, fourteen},
        {"getbridgeid", [&] { return text(l.getbridgeid()); }, ErrorText(kTimedOut)},
        {"deinit", [&] { return std::to_string(l.deinit()); }, fourteen},
    };
    std::vector<std::string> results(waiting.size());
    std::vector<std::chrono::steady_clock::duration> took(waiting.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        threads.emplace_back([&, i] {
            const auto start = std::chrono::steady_clock::now();
            results[i] = waiting[i].call();
            took[i] = std::chrono::steady_clock::now() - start;
        });
    }
    for (auto& thread : threads) thread.join();

    for (std::size_t i = 0; i < waiting.size(); ++i) {
        SCOPED_TRACE(waiting[i].name);
        EXPECT_EQ(results[i], waiting[i].expected);
        EXPECT_GE(took[i], 4500ms);
        EXPECT_LT(took[i], 9s);
    }
    // The error text where it fits, nothing where it does not.
    const std::string error = ErrorText(kTimedOut);
    const std::wstring errorW = ErrorTextW(kTimedOut);
    EXPECT_EQ(std::string(fits.data()), error);
    EXPECT_EQ(fitsLength, 40u);
    EXPECT_EQ(std::string(job.data()), error);
    EXPECT_EQ(jobLength, 40u);
    EXPECT_EQ(std::wstring(fitsW.data()), errorW);
    EXPECT_EQ(fitsLengthW, 40u);
    EXPECT_TRUE(AllSentinel(shortBuffer, 0));
    EXPECT_EQ(shortLength, 39u);
    EXPECT_TRUE(AllSentinel(shortW, 0));
    EXPECT_EQ(shortLengthW, 39u);
    EXPECT_TRUE(AllSentinel(jobW, 0));
    EXPECT_EQ(jobLengthW, 39u);

    // The timed-out deinit closed nothing.
    ASSERT_TRUE(Peer("reset"));
    EXPECT_EQ(l.iswcalive(), kOk);
}

// A peer that is merely slow is waited for; one whose window thread has not
// looked at its messages for over five seconds is hung, and a send to it
// gives 6 at once instead of holding the host's thread.
TEST_F(FailureExports, HungPeerIsReportedNotDeliveredWhileASlowPeerIsWaitedFor) {
    ASSERT_NO_FATAL_FAILURE(StartPeer(false));
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_TRUE(Peer(AnswerRule(code::kIsAlive, "busy=1500")));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Lib().iswcalive(), kOk);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms);

    ASSERT_TRUE(Peer("hang 9000"));
    std::this_thread::sleep_for(5600ms);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(Lib().iswcalive(), kNotDelivered);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the host's thread is held by a hung peer";
}

TEST_F(FailureExports, InitTimingOutLeavesTheSessionClosed) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_TRUE(Peer(AnswerRule(code::kInit, "silent")));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Lib().init(1, "slow", 1, nullptr), kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 4500ms);
    EXPECT_EQ(Lib().iswcalive(), kNotOpen);
    EXPECT_EQ(Records().size(), 1u);

    ASSERT_TRUE(Peer("reset"));
    EXPECT_EQ(Lib().init(1, "quick", 1, nullptr), kOk) << "closed, so not 9";
}

// The wall clock, moved for the library alone: each wall-clock call it
// imports from kernel32, or looks up there at run time, is answered with the
// real time plus a shift. Made before the library's first call, which may
// look one up once and keep it.
class WallClockShift {
public:
    WallClockShift() {
        const HMODULE library = GetModuleHandleW(L"vtxbridge.dll");
        Patch(library, "GetSystemTimeAsFileTime", &ShiftedFileTime);
        Patch(library, "GetSystemTimePreciseAsFileTime", &ShiftedPreciseFileTime);
        Patch(library, "GetSystemTime", &ShiftedSystemTime);
        Patch(library, "GetLocalTime", &ShiftedLocalTime);
        Patch(library, "GetProcAddress", &LookUp);
    }
    ~WallClockShift() { Set(0); }
    void Set(long long hours) { shift_ = hours * 36000000000LL; }
    // At least one wall-clock call was found among the library's imports.
    bool Patched() const { return !patches_.empty(); }

private:
    template <class Function>
    void Patch(HMODULE library, const char* name, Function replacement) {
        auto patch = std::make_unique<test::ImportPatch>(library, "kernel32.dll", name,
                                                         reinterpret_cast<void*>(replacement));
        if (patch->Applied()) patches_.push_back(std::move(patch));
    }
    static void Shift(FILETIME* time) {
        ULARGE_INTEGER value{{time->dwLowDateTime, time->dwHighDateTime}};
        value.QuadPart += static_cast<ULONGLONG>(shift_.load());
        *time = {value.LowPart, value.HighPart};
    }
    static void WINAPI ShiftedFileTime(FILETIME* time) {
        GetSystemTimeAsFileTime(time);
        Shift(time);
    }
    static void WINAPI ShiftedPreciseFileTime(FILETIME* time) { ShiftedFileTime(time); }
    static void WINAPI ShiftedSystemTime(SYSTEMTIME* time) {
        FILETIME now;
        ShiftedFileTime(&now);
        FileTimeToSystemTime(&now, time);
    }
    static FARPROC WINAPI LookUp(HMODULE module, LPCSTR name) {
        const bool byName = reinterpret_cast<ULONG_PTR>(name) > 0xFFFF;
        if (byName && std::strcmp(name, "GetSystemTimePreciseAsFileTime") == 0) {
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ShiftedPreciseFileTime));
        }
        if (byName && std::strcmp(name, "GetSystemTimeAsFileTime") == 0) {
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ShiftedFileTime));
        }
        return GetProcAddress(module, name);
    }
    static void WINAPI ShiftedLocalTime(SYSTEMTIME* time) {
        FILETIME now, local;
        ShiftedFileTime(&now);
        FileTimeToLocalFileTime(&now, &local);
        FileTimeToSystemTime(&local, time);
    }

    static inline std::atomic<long long> shift_{0};  // in 100 ns
    std::vector<std::unique_ptr<test::ImportPatch>> patches_;
};

// The answer wait's five seconds are measured on a clock the wall clock does
// not move: a clock set back by hand, or forward by time sync, during a wait
// changes nothing of it.
TEST_F(FailureExports, MovingTheWallClockDuringAWaitLeavesItAboutFiveSeconds) {
    WallClockShift wallClock;
    ASSERT_TRUE(wallClock.Patched()) << "the library's log reads the wall clock, so some import is there";
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_TRUE(Peer(AnswerRule(code::kIsAlive, "silent")));
    for (const long long hours : {-1LL, 1LL}) {
        SCOPED_TRACE(hours < 0 ? "moved back an hour" : "moved ahead an hour");
        std::atomic<int> result{0};
        const auto start = std::chrono::steady_clock::now();
        std::thread call([&] { result = Lib().iswcalive(); });
        std::this_thread::sleep_for(1s);
        wallClock.Set(hours);
        const bool ended = WaitUntil([&] { return result.load() != 0; }, 10s);
        const auto took = std::chrono::steady_clock::now() - start;
        wallClock.Set(0);  // ends a wait that went by the wall clock
        call.join();
        EXPECT_TRUE(ended) << "still waiting 11 s after the call";
        EXPECT_EQ(result.load(), kTimedOut);
        EXPECT_GE(took, 4500ms) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    }
}

// An answer that comes after its request gave up is nobody's answer: the
// next request, waiting while it arrives, still gets its own. The log says
// which export timed out and that the late answer was dropped.
TEST_F(FailureExports, AnswerAfterTheTimeOutIsNotTakenForTheNextRequest) {
    const ScopedCurrentFolder folder;  // for the log
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_TRUE(Peer(AnswerRule(code::kSendRequest, "late=6000")));
    const std::string timedOut = Lib().sendrequest("first", 5);
    EXPECT_EQ(timedOut, "{\"eventId\":9999, \"jobId\":\"\", \"code\":14}");
    EXPECT_EQ(timedOut.size(), 39u);

    ASSERT_TRUE(Peer(AnswerRule(code::kSendRequest, "late=2000")));
    EXPECT_EQ(std::string(Lib().sendrequest("second", 6)), "second");

    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    std::vector<std::string> lines;
    for (const std::string& line : WithoutRequestIds(ReadFallbackLog())) {
        if (line.rfind("[GetWindowHandle]", 0) != 0) lines.push_back(line);  // the first lookup
    }
    const std::vector<std::string> expected = {
        "[vtx_sendrequest] Timed out (14): no answer to message 1014, request ID <id>.",
        "[StoreResponse] Dropped an answer nobody waited for: message 1015, request ID <id>.",
    };
    EXPECT_EQ(lines, expected);
}

// One box per process at a time: while it is up, a send from another thread
// fails at once as not delivered and shows none of its own. Once it is
// closed, the next send shows it again.
TEST_F(FailureExports, WhileTheBoxIsUpOtherThreadsGetSixAtOnce) {
    const auto& l = Lib();
    std::atomic<int> first{-1};
    std::thread showing([&] { first = l.deinit(); });
    ASSERT_TRUE(WaitUntil([] { return BoxesUp() == 1; }, kPatience));

    // Should a send here show a box after all, it is counted and closed.
    std::atomic<bool> done{false};
    std::atomic<int> mostBoxes{0};
    std::thread user([&] {
        for (int i = 0; i < 300 && !done; ++i) {
            mostBoxes = std::max(mostBoxes.load(), BoxesUp(i >= 100));
            std::this_thread::sleep_for(10ms);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(l.deinit(), kNotDelivered);
    EXPECT_EQ(l.login("a", "b"), kNotDelivered);
    EXPECT_EQ(l.setbridgeid("id"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "waited for the other thread's box";
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(first.load(), -1) << "the box's own send returned while it was up";
    done = true;
    user.join();
    EXPECT_EQ(mostBoxes.load(), 1) << "a second box";

    BoxesUp(true);
    showing.join();
    EXPECT_EQ(first.load(), kNotDelivered);
    EXPECT_BOXES([&] { EXPECT_EQ(l.deinit(), kNotDelivered); }, 1);
}

// A host polling from a UI timer: the box's own modal loop dispatches the
// timer, whose poll must be skipped at once instead of opening a box inside
// the box, and so on without end.
const BridgeLibrary* timerLibrary = nullptr;
int timerCalls = 0;
int timerDepth = 0;
int timerDeepest = 0;
std::vector<int> timerResults;
std::chrono::steady_clock::duration timerSlowest{};

void CALLBACK PollFromTimer(HWND, UINT, UINT_PTR, DWORD) {
    ++timerCalls;
    timerDeepest = std::max(timerDeepest, ++timerDepth);
    const auto start = std::chrono::steady_clock::now();
    char buffer[16] = {};
    unsigned int length = sizeof(buffer);
    timerResults.push_back(timerLibrary->getrequestmessage(buffer, &length));
    timerSlowest = std::max(timerSlowest, std::chrono::steady_clock::now() - start);
    --timerDepth;
}

TEST_F(FailureExports, TimerDispatchedByTheBoxSkipsItsPollWithoutASecondBox) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_NO_FATAL_FAILURE(EndPeer());
    timerLibrary = &Lib();

    std::atomic<int> mostBoxes{0};
    std::thread user([&] {
        if (!WaitUntil([] { return BoxesUp() > 0; }, kPatience)) return;
        // Leaves the box up for a second, as a user reading it would.
        for (int i = 0; i < 100; ++i) {
            mostBoxes = std::max(mostBoxes.load(), BoxesUp());
            std::this_thread::sleep_for(10ms);
        }
        BoxesUp(true);
    });
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &PollFromTimer);
    ASSERT_NE(timer, 0u);
    char buffer[16] = {};
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kNothingQueued);
    KillTimer(nullptr, timer);
    user.join();

    EXPECT_EQ(mostBoxes.load(), 1);
    EXPECT_GE(timerCalls, 5) << "the box's loop did not dispatch the timer";
    EXPECT_EQ(timerDeepest, 1) << "nested calls";
    EXPECT_TRUE(std::all_of(timerResults.begin(), timerResults.end(), [](int r) { return r == kNothingQueued; }));
    EXPECT_LT(timerSlowest, 500ms) << "a poll from inside the box waited";
}

// Private memory committed in this process, summed region by region: the
// process's commit counters stay at zero under Wine, its address space does
// not.
SIZE_T CommittedPrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    const char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

long long Growth(SIZE_T baseline) {
    return static_cast<long long>(CommittedPrivateBytes()) - static_cast<long long>(baseline);
}

// Whether committed memory rises `bytes` above `baseline` within `watch`.
bool GrowsBy(SIZE_T baseline, SIZE_T bytes, std::chrono::milliseconds watch) {
    return WaitUntil([&] { return CommittedPrivateBytes() >= baseline + bytes; }, watch);
}

// An export that gave up (its send failed, or no answer came in time) leaves
// no registration behind: the answer the peer sends afterwards is dropped,
// not kept. Each answer carries the longest payload, so kept ones show in
// the memory of the process.
TEST_F(FailureExports, AnswersAfterAFailedSendOrATimeOutAreNotKept) {
    constexpr int kRequests = 16;
    const std::wstring longest(99999, L'p');
    // Half of what the kept answers would hold.
    const SIZE_T kept = kRequests * longest.size() * sizeof(wchar_t) / 2;
    {
        // The probe sees memory of that size being held.
        const SIZE_T before = CommittedPrivateBytes();
        const std::vector<wchar_t> held(kept / sizeof(wchar_t) + 1, L'h');
        ASSERT_GE(CommittedPrivateBytes(), before + kept) << "the memory probe does not see a block of " << kept;
    }
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    const auto request = [&](int expected) {
        std::vector<wchar_t> buffer(longest.size() + 1);
        unsigned int length = static_cast<unsigned int>(buffer.size());
        EXPECT_EQ(Lib().sendrequestparamw(longest.c_str(), 0, buffer.data(), &length), expected);
    };
    // Each path runs twice: the first round settles the memory the library
    // and Wine keep for reuse, the second is measured.
    const auto failedSends = [&] {
        for (int i = 0; i < kRequests; ++i) request(kNotDelivered);
    };
    const auto timeOuts = [&] {
        std::vector<std::thread> waiting;
        for (int i = 0; i < kRequests; ++i) waiting.emplace_back([&] { request(kTimedOut); });
        for (auto& thread : waiting) thread.join();
    };

    // The peer does not take the request, then answers it all the same.
    ASSERT_TRUE(Peer(AnswerRule(code::kSendRequestParamW, "return=0 late=20")));
    failedSends();
    std::this_thread::sleep_for(kQuietPeriod);
    SIZE_T baseline = CommittedPrivateBytes();
    failedSends();
    EXPECT_FALSE(GrowsBy(baseline, kept, 1500ms))
        << "answers to requests that were not delivered were kept: " << Growth(baseline) << " bytes more";

    // The answers come after the exports gave up.
    ASSERT_TRUE(Peer(AnswerRule(code::kSendRequestParamW, "late=5300")));
    timeOuts();
    std::this_thread::sleep_for(500ms + kQuietPeriod);
    baseline = CommittedPrivateBytes();
    timeOuts();
    EXPECT_FALSE(GrowsBy(baseline, kept, 1500ms))
        << "answers to requests that timed out were kept: " << Growth(baseline) << " bytes more";
}

}  // namespace
}  // namespace vtx::test
