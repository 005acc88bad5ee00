// Server requests handed to the host's callback by the library's worker the
// moment they arrive, inside a callback session only; the worker polls about
// every 100 ms in the session's form.
#include <atomic>

#include "exports_fixture.h"
#include "support/import_patch.h"
#include "support/process_counts.h"
#include "support/scoped_folder.h"

namespace vtx::test {
namespace {

std::vector<Recorded> Polls(const std::vector<Recorded>& records) {
    std::vector<Recorded> polls;
    std::copy_if(records.begin(), records.end(), std::back_inserter(polls),
                 [](const Recorded& r) { return r.code == code::kPoll || r.code == code::kPollW; });
    return polls;
}

class CallbackTest : public ExportsTest {
protected:
    // Waits for `count` polls after the first `from` records; returns them all.
    std::vector<Recorded> PollsAfter(std::size_t from, std::size_t count) const {
        std::vector<Recorded> polls;
        WaitUntil(
            [&] {
                polls = Polls(RecordsAfter(from));
                return polls.size() >= count;
            },
            kPatience);
        return polls;
    }
    // Every poll in `polls` is the blank envelope with this code.
    static ::testing::AssertionResult AllPollsAre(const std::vector<Recorded>& polls, std::uint32_t pollCode) {
        if (polls.empty()) return ::testing::AssertionFailure() << "no polls";
        for (const auto& poll : polls) {
            const auto result = pollCode == code::kPoll ? IsPoll<MessageEnvelope>(poll, pollCode)
                                                        : IsPoll<MessageEnvelopeW>(poll, pollCode);
            if (!result) return ::testing::AssertionFailure() << "poll " << poll.sequence << ": " << result.message();
        }
        return ::testing::AssertionSuccess();
    }
};

TEST_F(CallbackTest, NarrowCallbackGetsEachTextOnceOldestFirstOnAThreadOfItsOwn) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    const std::size_t afterInit = Records().size();
    ASSERT_TRUE(Peer("serve narrow one\nserve wide " + PeerWord(L"two \u00FC") + "\nserve narrow \"\"\nserve wide last"));

    ASSERT_TRUE(CallbackLog::Instance().WaitFor(4, kPatience));
    std::this_thread::sleep_for(kQuietPeriod);
    const auto calls = CallbackLog::Instance().Calls();
    ASSERT_EQ(calls.size(), 4u) << "each text exactly once";
    const std::string expected[] = {"one", ToAnsi(L"two \u00FC"), "", "last"};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        EXPECT_FALSE(calls[i].wide) << "the callback given to vtx_init";
        EXPECT_EQ(calls[i].Narrow(), expected[i]);
        EXPECT_EQ(calls[i].length, expected[i].size()) << "ANSI bytes";
        EXPECT_TRUE(calls[i].terminated);
        EXPECT_NE(calls[i].thread, GetCurrentThreadId());
    }

    // The narrow session's worker polls narrow; the host cannot poll itself.
    EXPECT_TRUE(AllPollsAre(PollsAfter(afterInit, 4), code::kPoll));
    char buffer[16] = {};
    unsigned int length = sizeof(buffer);
    wchar_t wide[16] = {};
    unsigned int wideLength = 16;
    // They return at once and poll no more than the worker does: a poll of
    // their own would show as a burst of polls.
    const std::size_t before = Records().size();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kNothingQueued);
        EXPECT_EQ(Lib().getrequestmessagew(wide, &wideLength), kNothingQueued);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 200ms) << "returned at once";
    EXPECT_LE(RecordsAfter(before).size(), 1u + static_cast<std::size_t>(took / 100ms) + 1u) << "they polled";
    EXPECT_EQ(length, sizeof(buffer));
    EXPECT_EQ(wideLength, 16u);
    EXPECT_EQ(Lib().getrequestmessage(nullptr, nullptr), kDoesNotFit);
}

// A narrow server request's bytes are read in the ANSI code page, not the
// OEM one (1252 and 437 in the default run: 0xE4 is a-umlaut, or sigma).
TEST_F(CallbackTest, WideCallbackGetsUtf16Units) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kOk);
    const std::size_t afterInit = Records().size();
    ASSERT_TRUE(Peer("serve wide " + PeerWord(L"gr\u00FC\u00DFe \u20AC \U0001F600") + "\nserve narrow " +
                     PeerWord(L"\u00E4bc") + "\nserve wide \"\""));

    ASSERT_TRUE(CallbackLog::Instance().WaitFor(3, kPatience));
    const auto calls = CallbackLog::Instance().Calls();
    ASSERT_EQ(calls.size(), 3u);
    // The last character takes two UTF-16 units.
    const std::wstring expected[] = {L"gr\u00FC\u00DFe \u20AC \U0001F600", L"\u00E4bc", L""};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        EXPECT_TRUE(calls[i].wide) << "the callback given to vtx_initw";
        EXPECT_EQ(calls[i].Wide(), expected[i]);
        EXPECT_EQ(calls[i].length, expected[i].size()) << "UTF-16 units";
        EXPECT_TRUE(calls[i].terminated);
    }
    EXPECT_TRUE(AllPollsAre(PollsAfter(afterInit, 3), code::kPollW));
}

// The worker reads the tick clock a few times a turn. A turn preempted on a
// busy machine sees it move between two readings; the polls must go on. Here
// every reading of the library's clock comes 40 ms after the one before.
class SteppingTickClock {
public:
    SteppingTickClock() : patch_(LibraryFromNow(), "kernel32.dll", "GetTickCount64", reinterpret_cast<void*>(&Read)) {}
    bool Applied() const { return patch_.Applied(); }

private:
    static HMODULE LibraryFromNow() {
        ticks_ = GetTickCount64();
        return GetModuleHandleW(L"vtxbridge.dll");
    }
    static ULONGLONG WINAPI Read() { return ticks_ += 40; }
    static inline std::atomic<ULONGLONG> ticks_{0};
    ImportPatch patch_;
};

TEST_F(CallbackTest, PollsGoOnHoweverTheClockMovesBetweenTwoReadings) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kOk);
    // At least every 100 ms: fifteen in 1.5 s, ten with a busy machine's slack.
    const std::size_t polled = Polls(Records()).size();
    std::this_thread::sleep_for(1500ms);
    EXPECT_GE(Polls(Records()).size() - polled, 10u) << "fewer polls than one per 100 ms";
    {
        const SteppingTickClock clock;
        ASSERT_TRUE(clock.Applied()) << "the library's deadlines read GetTickCount64";
        const std::size_t from = Records().size();
        EXPECT_GE(PollsAfter(from, 5).size(), 5u) << "the worker stopped polling";
    }
    EXPECT_EQ(Lib().deinit(), kOk);
}

// A burst is handed over as it arrives, not one text per poll.
TEST_F(CallbackTest, BurstArrivesWholeAndInOrderWithinAFewSeconds) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kOk);
    constexpr int kBurst = 200;
    std::string commands;
    for (int i = 0; i < kBurst; ++i) commands += "serve wide t" + std::to_string(i) + "\n";
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Peer(commands));
    ASSERT_TRUE(CallbackLog::Instance().WaitFor(kBurst, kPatience));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    std::this_thread::sleep_for(kQuietPeriod);
    const auto calls = CallbackLog::Instance().Calls();
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(kBurst)) << "each text exactly once";
    for (int i = 0; i < kBurst; ++i) {
        ASSERT_EQ(calls[static_cast<std::size_t>(i)].Wide(), L"t" + std::to_wstring(i)) << "call " << i;
    }

    // A text served alone is handed over on arrival too, not at the worker's
    // next poll: 50 texts, each served once the one before was handed over,
    // take a fraction of the 5 s that waiting for the polls would cost.
    const auto alone = std::chrono::steady_clock::now();
    for (std::size_t i = 1; i <= 50; ++i) {
        ASSERT_TRUE(Peer("serve wide alone"));
        ASSERT_TRUE(CallbackLog::Instance().WaitFor(kBurst + i, kPatience));
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - alone);
    EXPECT_LT(took.count(), 2500) << "texts waited for the next poll";
}

// The callback mode ends with its session: after vtx_deinit (and after an
// init that opened nothing) the worker neither polls nor calls. A text that
// arrives meanwhile is kept for the next session: its callback, or its
// collect when it polls. In the session and between sessions, the worker
// waits between its turns rather than spinning on a processor.
TEST_F(CallbackTest, NothingOutsideTheSessionAndTheNextSessionGetsWhatArrivedMeanwhile) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    EXPECT_TRUE(AllPollsAre(PollsAfter(Records().size(), 2), code::kPoll));
    EXPECT_EQ(Lib().deinit(), kOk);

    std::size_t from = Records().size();
    ASSERT_TRUE(Peer("serve narrow between"));
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(Lib().init(1, "cb", 0, nullptr), kNoCallback);
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_TRUE(WithoutCodes(RecordsAfter(from), {code::kInit}).empty()) << "polled outside a session";
    EXPECT_TRUE(CallbackLog::Instance().Calls().empty()) << "called outside a session";

    // The next callback session, wide this time, gets it at once, once.
    EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kOk);
    ASSERT_TRUE(CallbackLog::Instance().WaitFor(1, kPatience));
    std::this_thread::sleep_for(kQuietPeriod);
    auto calls = CallbackLog::Instance().Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].wide);
    EXPECT_EQ(calls[0].Wide(), L"between");
    const DWORD worker = calls[0].thread;
    const double workerBusyMs = ThreadProcessorMs(worker);
    const auto idleSince = std::chrono::steady_clock::now();
    EXPECT_TRUE(AllPollsAre(PollsAfter(Records().size(), 2), code::kPollW));
    EXPECT_EQ(Lib().deinit(), kOk);

    // A polling session after a callback session collects for itself.
    ASSERT_TRUE(Peer("serve narrow later"));
    std::this_thread::sleep_for(200ms);
    from = Records().size();
    EXPECT_EQ(Lib().init(1, "polling", 1, nullptr), kOk);
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_TRUE(Polls(RecordsAfter(from)).empty()) << "the worker polled for a polling session";
    char buffer[16] = {};
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kOk);
    EXPECT_STREQ(buffer, "later");
    EXPECT_EQ(CallbackLog::Instance().Calls().size(), 1u);
    EXPECT_EQ(Lib().deinit(), kOk);

    const std::chrono::duration<double, std::milli> idle = std::chrono::steady_clock::now() - idleSince;
    ASSERT_GE(workerBusyMs, 0) << "the worker's processor time cannot be read";
    EXPECT_LT(ThreadProcessorMs(worker) - workerBusyMs, idle.count() / 10) << "the worker spins";
}

// The library a callback below calls back into.
std::atomic<const BridgeLibrary*> calledBack{nullptr};
std::atomic<int> deinitInside{-1};
std::atomic<long long> slowCallbackLeft{0};
// The polls the peer has received so far, and how many came while the slow
// callback ran.
std::function<std::size_t()> pollsReceived;
std::atomic<std::size_t> pollsDuringSlowCallback{0};

long long NowTicks() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

void VTX_CALL SlowCallback(const void* text, unsigned int length) {
    RecordNarrowCallback(text, length);
    const std::size_t polled = pollsReceived();
    std::this_thread::sleep_for(600ms);
    pollsDuringSlowCallback = pollsReceived() - polled;
    slowCallbackLeft = NowTicks();
}

void VTX_CALL DeinitInsideCallback(const void* text, unsigned int length) {
    RecordNarrowCallback(text, length);
    deinitInside = calledBack.load()->deinit();
}

// vtx_deinit returns only once a callback under way has returned, and none
// follows: a plug-in may unload its code right after. The worker does not
// poll while the callback runs. Called from inside the callback, vtx_deinit
// ends the session without waiting for itself.
TEST_F(CallbackTest, DeinitWaitsForTheCallbackAndWorksFromInsideIt) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    pollsReceived = [this] { return Polls(Records()).size(); };
    EXPECT_EQ(Lib().init(1, "cb", 0, &SlowCallback), kOk);
    ASSERT_TRUE(Peer("serve narrow unhurried"));
    ASSERT_TRUE(WaitUntil([] { return slowCallbackLeft.load() != 0; }, kPatience));
    EXPECT_EQ(pollsDuringSlowCallback.load(), 0u) << "polled while the callback ran";

    slowCallbackLeft = 0;
    ASSERT_TRUE(Peer("serve narrow slow\nserve narrow queued"));
    ASSERT_TRUE(CallbackLog::Instance().WaitFor(2, kPatience));
    EXPECT_EQ(Lib().deinit(), kOk);
    const long long returned = NowTicks();
    EXPECT_NE(slowCallbackLeft.load(), 0) << "deinit returned while the callback ran";
    EXPECT_LE(slowCallbackLeft.load(), returned);
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(CallbackLog::Instance().Calls().size(), 2u) << "a callback after deinit";

    calledBack = &Lib();
    EXPECT_EQ(Lib().init(1, "cb", 0, &DeinitInsideCallback), kOk);
    ASSERT_TRUE(Peer("serve narrow inside\nserve narrow after"));
    ASSERT_TRUE(WaitUntil([] { return deinitInside.load() != -1; }, kPatience)) << "deadlock";
    EXPECT_EQ(deinitInside.load(), kOk);
    std::this_thread::sleep_for(kQuietPeriod);
    const auto calls = CallbackLog::Instance().Calls();
    ASSERT_EQ(calls.size(), 3u) << "a callback after deinit";
    EXPECT_EQ(calls[2].Narrow(), "inside");
    EXPECT_EQ(Lib().iswcalive(), kNotOpen);
    EXPECT_EQ(Lib().init(1, "again", 1, nullptr), kOk);
    EXPECT_EQ(Lib().deinit(), kOk);
}

// A callback that marshals to the host's window thread (SendMessage) while
// that thread is in vtx_deinit: the wait handles the sent message, so the
// callback returns and vtx_deinit with it, instead of each waiting on the
// other.
HWND hostWindow = nullptr;
std::atomic<int> hostWindowCalls{0};
std::atomic<bool> marshalling{false};

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        ++hostWindowCalls;
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void VTX_CALL MarshallingCallback(const void* text, unsigned int length) {
    RecordNarrowCallback(text, length);
    marshalling = true;
    // By now vtx_deinit has had its answer and waits for this callback.
    std::this_thread::sleep_for(500ms);
    DWORD_PTR result = 0;
    // Bounded, so that a deadlock shows as a slow deinit rather than a hang.
    SendMessageTimeoutW(hostWindow, WM_APP, 0, 0, SMTO_NORMAL, 5000, &result);
}

TEST_F(CallbackTest, DeinitHandlesMessagesTheCallbackSendsToItsThread) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"vtxtest-host-window";
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    hostWindow = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
    ASSERT_NE(hostWindow, nullptr);

    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &MarshallingCallback), kOk);
    ASSERT_TRUE(Peer("serve narrow marshal"));
    // This thread does not pump: the callback's message waits for deinit.
    ASSERT_TRUE(WaitUntil([] { return marshalling.load(); }, kPatience));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Lib().deinit(), kOk);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "deinit and the callback waited for each other";
    EXPECT_EQ(hostWindowCalls.load(), 1);
    DestroyWindow(hostWindow);
}

// A later vtx_initw with a callback hands the running worker the new, wide
// callback; the old one is called no more, and no second worker competes
// for the queue.
TEST_F(CallbackTest, ANewCallbackReplacesTheOldOne) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    const int threadsWithWorker = ThreadCount();
    EXPECT_EQ(Lib().deinit(), kOk);
    EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kOk);
    EXPECT_EQ(ThreadCount(), threadsWithWorker) << "a second worker";
    std::size_t from = Records().size();
    EXPECT_TRUE(AllPollsAre(PollsAfter(from, 2), code::kPollW));

    ASSERT_TRUE(Peer("serve narrow first\nserve wide second"));
    ASSERT_TRUE(CallbackLog::Instance().WaitFor(2, kPatience));
    std::this_thread::sleep_for(kQuietPeriod);
    const auto calls = CallbackLog::Instance().Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].wide);
    EXPECT_EQ(calls[0].Wide(), L"first");
    EXPECT_TRUE(calls[1].wide);
    EXPECT_EQ(calls[1].Wide(), L"second");
}

// With pollMode != 0 the callback is ignored: no worker, no polls of its own.
TEST_F(CallbackTest, PollingSessionIgnoresTheCallback) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "poll", 1, &RecordNarrowCallback), kOk);
    ASSERT_TRUE(Peer("serve narrow kept"));
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_TRUE(Polls(Records()).empty()) << "no worker polls";
    EXPECT_TRUE(CallbackLog::Instance().Calls().empty());

    char buffer[16] = {};
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kOk);
    EXPECT_STREQ(buffer, "kept");
}

// The peer accepted a callback session, but no thread could be started to
// deliver to the callback: 6, no session, and the log says why. A later init
// starts the worker.
HANDLE WINAPI RefuseThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST_F(CallbackTest, InitGivesSixWhenTheWorkerCannotStart) {
    const ScopedCurrentFolder folder;  // for the log
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().login("loop", "runs"), kOk);  // the message loop's thread is started
    {
        const ImportPatch noThreads(GetModuleHandleW(L"vtxbridge.dll"), "kernel32.dll", "CreateThread",
                                    reinterpret_cast<void*>(&RefuseThread));
        ASSERT_TRUE(noThreads.Applied()) << "the library starts its threads with CreateThread";
        EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kNotDelivered);
        EXPECT_EQ(Lib().iswcalive(), kNotOpen);
    }
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    ASSERT_TRUE(Peer("serve narrow delivered"));
    ASSERT_TRUE(CallbackLog::Instance().WaitFor(1, kPatience));
    EXPECT_EQ(Lib().deinit(), kOk);

    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    EXPECT_EQ(LinesStartingWith(ReadFallbackLog(),
                                "[vtx_initw] Not delivered (6): the callback worker could not be started."),
              1u);
}

// A refused vtx_initw (its text, or the session already open) changes
// nothing: not the session's form, which the worker's poll shows, and not
// the callback.
TEST_F(CallbackTest, RefusedInitLeavesFormAndCallbackAlone) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    const std::size_t before = Records().size();
    EXPECT_EQ(Lib().initw(1, L"sixteen units...", 0, &RecordWideCallback), kDoesNotFit);
    EXPECT_EQ(Lib().initw(1, nullptr, 0, &RecordWideCallback), kDoesNotFit);
    EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kAlreadyOpen);
    std::this_thread::sleep_for(kQuietPeriod);
    const auto after = RecordsAfter(before);
    EXPECT_TRUE(WithoutCodes(after, {code::kPoll}).empty()) << "only narrow polls; the refused init sent nothing";
    EXPECT_TRUE(AllPollsAre(PollsAfter(before, 3), code::kPoll));

    ASSERT_TRUE(Peer("serve wide still"));
    ASSERT_TRUE(CallbackLog::Instance().WaitFor(1, kPatience));
    EXPECT_FALSE(CallbackLog::Instance().Calls()[0].wide);
    EXPECT_EQ(CallbackLog::Instance().Calls()[0].Narrow(), "still");
}

}  // namespace
}  // namespace vtx::test
