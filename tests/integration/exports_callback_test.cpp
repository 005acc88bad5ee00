// Server requests handed to the host's callback by the library's worker,
// which polls about every 100 ms in the session's form.
#include "exports_fixture.h"

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
        // One text per poll, and the worker pauses between polls.
        if (i > 0) {
            EXPECT_GE(calls[i].at - calls[i - 1].at, 50ms);
        }
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
}

TEST_F(CallbackTest, WideCallbackGetsUtf16Units) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kOk);
    const std::size_t afterInit = Records().size();
    ASSERT_TRUE(Peer("serve wide " + PeerWord(L"gr\u00FC\u00DFe \u20AC \U0001F600") + "\nserve narrow abc\nserve wide \"\""));

    ASSERT_TRUE(CallbackLog::Instance().WaitFor(3, kPatience));
    const auto calls = CallbackLog::Instance().Calls();
    ASSERT_EQ(calls.size(), 3u);
    // The last character takes two UTF-16 units.
    const std::wstring expected[] = {L"gr\u00FC\u00DFe \u20AC \U0001F600", L"abc", L""};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        EXPECT_TRUE(calls[i].wide) << "the callback given to vtx_initw";
        EXPECT_EQ(calls[i].Wide(), expected[i]);
        EXPECT_EQ(calls[i].length, expected[i].size()) << "UTF-16 units";
        EXPECT_TRUE(calls[i].terminated);
    }
    EXPECT_TRUE(AllPollsAre(PollsAfter(afterInit, 3), code::kPollW));
}

// The worker's poll follows the session's form; with no session it is wide.
// Once started it serves the rest of the load, also a later polling session.
TEST_F(CallbackTest, PollFormFollowsTheSessionAndTheWorkerOutlivesIt) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    std::size_t from = Records().size();
    EXPECT_TRUE(AllPollsAre(PollsAfter(from, 3), code::kPoll));

    EXPECT_EQ(Lib().deinit(), kOk);
    // Polls sent while deinit was on its way may still be narrow: skip them.
    std::this_thread::sleep_for(250ms);
    from = Records().size();
    EXPECT_TRUE(AllPollsAre(PollsAfter(from, 3), code::kPollW)) << "after deinit";

    // A polling session now: the callback is ignored, the worker goes on.
    EXPECT_EQ(Lib().init(1, "polling", 1, nullptr), kOk);
    std::this_thread::sleep_for(250ms);
    from = Records().size();
    EXPECT_TRUE(AllPollsAre(PollsAfter(from, 3), code::kPoll)) << "narrow session again";

    ASSERT_TRUE(Peer("serve narrow later"));
    char buffer[16] = {};
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kNothingQueued) << "a worker was started in this load";
    ASSERT_TRUE(CallbackLog::Instance().WaitFor(1, kPatience));
    EXPECT_EQ(CallbackLog::Instance().Calls()[0].Narrow(), "later");
}

// A later vtx_initw with a callback hands the running worker the new, wide
// callback; the old one is called no more.
TEST_F(CallbackTest, ANewCallbackReplacesTheOldOne) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    EXPECT_EQ(Lib().deinit(), kOk);
    EXPECT_EQ(Lib().initw(1, L"cb", 0, &RecordWideCallback), kOk);
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

// A refused vtx_initw changes nothing: not the session's form, which the
// worker's poll shows, and not the callback.
TEST_F(CallbackTest, RefusedInitLeavesFormAndCallbackAlone) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    const std::size_t before = Records().size();
    EXPECT_EQ(Lib().initw(1, L"sixteen units...", 0, &RecordWideCallback), kDoesNotFit);
    EXPECT_EQ(Lib().initw(1, nullptr, 0, &RecordWideCallback), kDoesNotFit);
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
