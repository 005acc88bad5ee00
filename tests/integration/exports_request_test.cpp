// The host's business traffic: vtx_sendrequest(w), vtx_sendrequestparam(w),
// vtx_sendresponse(w) and vtx_getrequestmessage(w), in both forms, mixed
// forms, and from several host threads at once.
#include "exports_fixture.h"
#include "transport/bridge_context.h"

namespace vtx::test {
namespace {

template <class Api>
using RequestForms = ExportsFormTest<Api>;
TYPED_TEST_SUITE(RequestForms, BothForms, FormNames);

using RequestExports = ExportsTest;

TYPED_TEST(RequestForms, SendRequestPassesTextAndLengthAndReturnsTheAnswersPayload) {
    using Api = TypeParam;
    using Envelope = typename Api::Envelope;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());
    const std::size_t before = this->Records().size();

    // The length argument travels as given, even when it is not the text's.
    // Each request starts blank: nothing of the longer text before it stays
    // behind its terminator.
    const auto text = Api::Text(L"price \u00FC 12");
    const auto longer = Api::Text(L"a longer text than the next one");
    EXPECT_EQ(typename Api::String(Api::SendRequest(this->Lib(), longer.c_str(), 12345)), longer);
    EXPECT_EQ(typename Api::String(Api::SendRequest(this->Lib(), text.c_str(), -7)), text);
    const auto records = this->RecordsAfter(before);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(IsRequest(records[0], Api::Code(code::kSendRequest), *Expected<Envelope>(longer, 12345)));
    EXPECT_TRUE(IsRequest(records[1], Api::Code(code::kSendRequest), *Expected<Envelope>(text, -7)));
    EXPECT_NE(RequestIdOf<Envelope>(records[0]), RequestIdOf<Envelope>(records[1])) << "a fresh ID per request";

    // The answer's payload whatever its status, empty included.
    const std::uint32_t requestCode = Api::Code(code::kSendRequest);
    ASSERT_TRUE(this->Peer(AnswerRule(requestCode, "status=201 payload=" + PeerWord(L"answered \u00E9"))));
    EXPECT_EQ(typename Api::String(Api::SendRequest(this->Lib(), text.c_str(), 1)), Api::Text(L"answered \u00E9"));
    ASSERT_TRUE(this->Peer(AnswerRule(requestCode, "status=6 payload=\"\"")));
    EXPECT_EQ(typename Api::String(Api::SendRequest(this->Lib(), text.c_str(), 1)), typename Api::String());
}

// A host may keep the pointer it got: each later call puts its text behind
// that same pointer, whatever the texts' lengths.
TYPED_TEST(RequestForms, SendRequestTextBelongsToTheLibraryUntilTheNextCall) {
    using Api = TypeParam;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());

    const auto first = Api::Text(L"first answer");
    const auto* kept = Api::SendRequest(this->Lib(), first.c_str(), 0);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(typename Api::String(kept), first);
    const std::wstring texts[] = {L"second", L"a longer answer of some twenty-nine",
                                  std::wstring(300, L'x'), L"short again"};
    for (const std::wstring& text : texts) {
        SCOPED_TRACE("then an answer of " + std::to_string(text.size()));
        const auto answer = Api::Text(text);
        const auto* latest = Api::SendRequest(this->Lib(), answer.c_str(), 0);
        EXPECT_EQ(typename Api::String(latest), answer);
        // The same pointer, so what is behind the first one is the latest
        // answer; a moved string leaves the host's pointer dangling.
        EXPECT_EQ(latest, kept) << "the first pointer no longer shows the latest answer";
    }
}

TYPED_TEST(RequestForms, SendRequestParamFollowsTheOutBufferConvention) {
    using Api = TypeParam;
    using Char = typename Api::Char;
    using Envelope = typename Api::Envelope;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());
    const std::size_t before = this->Records().size();

    // The peer echoes the request's text: the answer has as many units.
    const auto text = Api::Text(L"quote \u00FC EURUSD");
    EXPECT_BUFFER_CONVENTION(Char, ([&](Char* buffer, unsigned int* length) {
                                 return Api::SendRequestParam(this->Lib(), text.c_str(), 99, buffer, length);
                             }),
                             text);

    // Every call was a request of its own: a text that did not fit is not
    // kept for the next call.
    const auto records = this->RecordsAfter(before);
    ASSERT_EQ(records.size(), 4u);
    std::vector<typename Api::String> ids;
    for (const auto& record : records) {
        EXPECT_TRUE(IsRequest(record, Api::Code(code::kSendRequestParam), *Expected<Envelope>(text, 99)));
        ids.push_back(RequestIdOf<Envelope>(record));
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end()) << "request IDs repeat";

    // An empty answer needs room for its terminator only.
    ASSERT_TRUE(this->Peer(AnswerRule(Api::Code(code::kSendRequestParam), "payload=\"\"")));
    EXPECT_BUFFER_CONVENTION(Char, ([&](Char* buffer, unsigned int* length) {
                                 return Api::SendRequestParam(this->Lib(), text.c_str(), 0, buffer, length);
                             }),
                             typename Api::String());
}

TYPED_TEST(RequestForms, SendResponseCountsTheTerminatorAndReturnsThePeersStatus) {
    using Api = TypeParam;
    using Envelope = typename Api::Envelope;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());
    const std::uint32_t requestCode = Api::Code(code::kSendResponse);

    const struct {
        const wchar_t* text;
        int lengthArgument;
        int status;
    } cases[] = {
        {L"reply \u00FC", 999, 200}, {L"", 5, 200}, {L"x", -1, 201}, {L"status six", 0, 6},
        {L"status 14", 3, 14},       {L"zero", 4, 0}, {L"negative", 8, -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("status " + std::to_string(c.status));
        ASSERT_TRUE(this->Peer(AnswerRule(requestCode, "status=" + std::to_string(c.status))));
        const auto text = Api::Text(c.text);
        const std::size_t before = this->Records().size();
        EXPECT_EQ(Api::SendResponse(this->Lib(), text.c_str(), c.lengthArgument), c.status);
        const auto records = this->RecordsAfter(before);
        ASSERT_EQ(records.size(), 1u);
        // The length field tells the peer its copy's size: text + terminator.
        EXPECT_TRUE(IsRequest(records[0], requestCode,
                              *Expected<Envelope>(text, static_cast<std::int32_t>(text.size() + 1))));
    }
}

TYPED_TEST(RequestForms, GetRequestMessagePollsThenHandsOverTheOldestText) {
    using Api = TypeParam;
    using Char = typename Api::Char;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());
    const std::uint32_t pollCode = Api::Code(code::kPoll);

    Char buffer[32];
    unsigned int length = 32;
    std::fill(std::begin(buffer), std::end(buffer), kSentinel<Char>);
    std::size_t before = this->Records().size();
    EXPECT_EQ(Api::GetRequestMessage(this->Lib(), buffer, &length), kNothingQueued);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(buffer[0], kSentinel<Char>);
    auto records = this->RecordsAfter(before);
    ASSERT_EQ(records.size(), 1u) << "the poll is sent although nothing is queued";
    EXPECT_TRUE(IsPoll<typename Api::Envelope>(records[0], pollCode));

    // Texts of both forms, collected oldest first, each in the export's form.
    ASSERT_TRUE(this->Peer("serve narrow first\nserve wide " + PeerWord(L"second \u00FC") + "\nserve narrow third"));
    before = this->Records().size();
    for (const wchar_t* expected : {L"first", L"second \u00FC", L"third"}) {
        SCOPED_TRACE(ToUtf8(expected));
        const auto text = Api::Text(expected);
        length = 32;
        EXPECT_EQ(Api::GetRequestMessage(this->Lib(), buffer, &length), kOk);
        EXPECT_EQ(typename Api::String(buffer), text);
        EXPECT_EQ(length, text.size()) << "without the terminator";
    }
    length = 32;
    EXPECT_EQ(Api::GetRequestMessage(this->Lib(), buffer, &length), kNothingQueued);
    records = this->RecordsAfter(before);
    ASSERT_EQ(records.size(), 4u) << "one poll per call";
    for (const auto& record : records) EXPECT_TRUE(IsPoll<typename Api::Envelope>(record, pollCode));
}

TYPED_TEST(RequestForms, GetRequestMessageKeepsATextThatDoesNotFit) {
    using Api = TypeParam;
    using Char = typename Api::Char;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());
    ASSERT_TRUE(this->Peer("serve wide \"abc\"\nserve narrow \"\""));

    const struct {
        unsigned int capacity;
        int result;
        const wchar_t* text;  // handed over, for 200
    } cases[] = {
        {0, kDoesNotFit, nullptr}, {3, kDoesNotFit, nullptr}, {4, kOk, L"abc"},
        {0, kDoesNotFit, nullptr}, {1, kOk, L""},             {1, kNothingQueued, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("capacity " + std::to_string(c.capacity));
        std::vector<Char> buffer(8, kSentinel<Char>);
        unsigned int length = c.capacity;
        EXPECT_EQ(Api::GetRequestMessage(this->Lib(), buffer.data(), &length), c.result);
        if (c.result == kOk) {
            const auto text = Api::Text(c.text);
            EXPECT_EQ(typename Api::String(buffer.data(), text.size()), text);
            EXPECT_EQ(buffer[text.size()], Char{});
            EXPECT_TRUE(AllSentinel(buffer, text.size() + 1));
            EXPECT_EQ(length, text.size());
        } else {
            EXPECT_TRUE(AllSentinel(buffer, 0));
            EXPECT_EQ(length, c.capacity);
        }
    }
}

TEST_F(RequestExports, GetRequestMessageReadsTheQueueAfterThePollTakenOrNot) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    // The peer answers each poll with a server request of its own.
    ASSERT_TRUE(Peer(AnswerRule(code::kPoll, "inline payload=\"brought by the poll\"")));

    char buffer[32] = {};
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kOk) << "the queue is read after the poll";
    EXPECT_STREQ(buffer, "brought by the poll");
    EXPECT_EQ(length, 19u);

    // A poll the peer does not take still reads the queue: 200, not 6 or 16.
    ASSERT_TRUE(Peer("serve narrow \"queued before\"\n" + AnswerRule(code::kPoll, "refuse")));
    length = sizeof(buffer);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kOk) << "a refused poll skipped the queue";
    EXPECT_STREQ(buffer, "queued before");
}

// A collected text gives its room back: more of the largest texts than the
// queue's bound holds at once pass through it one at a time.
TEST_F(RequestExports, CollectedTextsLeaveRoomForTheNext) {
    ASSERT_NO_FATAL_FAILURE(StartPeer(false));  // 80 MB of polls: not recorded
    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    const std::wstring largest(kPayloadUnits - 1, L'x');
    ASSERT_TRUE(Peer(AnswerRule(code::kPollW, "inline payload=" + PeerWord(largest))));
    const std::size_t fitting = BridgeContext::kQueuedBytesBound / (largest.size() * sizeof(wchar_t));

    std::vector<wchar_t> buffer(kPayloadUnits);
    for (std::size_t text = 1; text <= fitting + 20; ++text) {
        unsigned int length = kPayloadUnits;
        ASSERT_EQ(Lib().getrequestmessagew(buffer.data(), &length), kOk) << "text " << text;
        ASSERT_EQ(length, largest.size());
    }
}

// Each form's exports keep their own form whatever form the session has.
TEST_F(RequestExports, MixedFormsInOneSession) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const std::wstring text = L"mixed \u00FC";
    const std::string narrow = ToAnsi(text);

    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    std::size_t before = Records().size();
    EXPECT_EQ(std::wstring(Lib().sendrequestw(text.c_str(), 3)), text);
    wchar_t wide[32] = {};
    unsigned int wideLength = 32;
    EXPECT_EQ(Lib().sendrequestparamw(text.c_str(), 4, wide, &wideLength), kOk);
    EXPECT_EQ(std::wstring(wide), text);
    EXPECT_EQ(Lib().sendresponsew(text.c_str(), 0), kOk);
    EXPECT_EQ(Lib().getrequestmessagew(wide, &wideLength), kNothingQueued);
    auto records = RecordsAfter(before);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_TRUE(IsPoll<MessageEnvelopeW>(records[3], code::kPollW));
    EXPECT_TRUE(IsRequest(records[0], code::kSendRequestW, *Expected<MessageEnvelopeW>(text, 3)));
    EXPECT_TRUE(IsRequest(records[1], code::kSendRequestParamW, *Expected<MessageEnvelopeW>(text, 4)));
    EXPECT_TRUE(IsRequest(records[2], code::kSendResponseW, *Expected<MessageEnvelopeW>(text, 8)));

    EXPECT_EQ(Lib().deinit(), kOk);
    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    before = Records().size();
    EXPECT_EQ(std::string(Lib().sendrequest(narrow.c_str(), 5)), narrow);
    char buffer[32] = {};
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(Lib().sendrequestparam(narrow.c_str(), 6, buffer, &length), kOk);
    EXPECT_EQ(std::string(buffer), narrow);
    EXPECT_EQ(Lib().sendresponse(narrow.c_str(), 0), kOk);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kNothingQueued);
    records = RecordsAfter(before);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_TRUE(IsPoll<MessageEnvelope>(records[3], code::kPoll));
    EXPECT_TRUE(IsRequest(records[0], code::kSendRequest, *Expected<MessageEnvelope>(narrow, 5)));
    EXPECT_TRUE(IsRequest(records[1], code::kSendRequestParam, *Expected<MessageEnvelope>(narrow, 6)));
    EXPECT_TRUE(IsRequest(records[2], code::kSendResponse, *Expected<MessageEnvelope>(narrow, 8)));
}

// A peer that answers one request several times: the first answer is taken,
// the others are nobody's, not the answer of the next request.
TEST_F(RequestExports, RepeatedAnswersAreTakenOnce) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_TRUE(Peer("answer 1014,2014 repeat=3 late=0-200"));
    for (const std::string text : {"one", "two", "three"}) {
        EXPECT_EQ(std::string(Lib().sendrequest(text.c_str(), 0)), text);
        const std::wstring wide(text.begin(), text.end());
        EXPECT_EQ(std::wstring(Lib().sendrequestw(wide.c_str(), 0)), wide);
    }
}

// An answer is taken the moment it is filed, not at the end of one of the
// wait's 100 ms pauses. A guard against losing that wake-up, not a speed
// test: 200 round trips take a few seconds at most, and 20 s when every
// answer waits for a pause to end. The answers are sent just after the
// delivery returned, so each meets a waiting export (an inline answer is
// filed before the wait begins and would not show the fault).
TEST_F(RequestExports, AnAnswerArrivingDuringTheWaitIsTakenAtOnce) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_TRUE(Peer(AnswerRule(code::kSendRequest, "late=0")));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) ASSERT_STREQ(Lib().sendrequest("wake", 4), "wake");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(took.count(), 10000) << "answers waited for a pause to end";
}

// Host threads with requests in flight at once, answered in shuffled order:
// each must get the answer to its own request.
TEST_F(RequestExports, ConcurrentRequestsEachGetTheirOwnAnswer) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_TRUE(Peer("answer * late=0-300"));

    constexpr int kRounds = 8;
    struct Mismatch {
        int thread;
        int round;
        std::string answer;
    };
    std::mutex mutex;
    std::vector<Mismatch> mismatches;
    const auto note = [&](int thread, int round, const std::string& answer) {
        std::lock_guard<std::mutex> lock(mutex);
        mismatches.push_back({thread, round, answer});
    };
    const auto tag = [](int thread, int round) { return "t" + std::to_string(thread) + "-r" + std::to_string(round); };

    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {  // two threads on the same caller-buffer export
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                const std::string text = tag(t, r);
                char buffer[32] = {};
                unsigned int length = sizeof(buffer);
                const int result = Lib().sendrequestparam(text.c_str(), 0, buffer, &length);
                if (result != kOk || text != buffer) note(t, r, std::to_string(result) + " " + buffer);
            }
        });
    }
    threads.emplace_back([&] {
        for (int r = 0; r < kRounds; ++r) {
            const std::wstring text = L"wide-" + std::to_wstring(r);
            wchar_t buffer[32] = {};
            unsigned int length = 32;
            const int result = Lib().sendrequestparamw(text.c_str(), 0, buffer, &length);
            if (result != kOk || text != buffer) note(2, r, std::to_string(result) + " " + ToUtf8(buffer));
        }
    });
    threads.emplace_back([&] {
        for (int r = 0; r < kRounds; ++r) {
            const std::string text = tag(3, r);
            const std::string answer = Lib().sendrequest(text.c_str(), 0);
            if (answer != text) note(3, r, answer);
        }
    });
    for (auto& thread : threads) thread.join();

    for (const auto& m : mismatches) {
        ADD_FAILURE() << "thread " << m.thread << " round " << m.round << " got: " << m.answer;
    }
    EXPECT_EQ(Records().size(), 1u + 4u * kRounds);
}

}  // namespace
}  // namespace vtx::test
