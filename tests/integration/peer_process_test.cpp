// The substitute peer as host developers and the library's tests meet it:
// vtxpeer.exe in a process of its own, sent raw WM_COPYDATA from a RawWindow
// and checked byte for byte, plus the in-process Peer tests run on a thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "peer/peer.h"
#include "peer/peer_control.h"
#include "support/peer_process.h"
#include "support/raw_window.h"
#include "support/test_files.h"
#include "common/envelope_helpers.h"
#include "transport/envelope.h"
#include "transport/message_codes.h"

namespace vtx::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

constexpr auto kWait = 5s;
// How long "nothing arrives" is watched; inline answers arrive before the
// send returns, so this only has to outlast a wrongly scheduled late one.
constexpr auto kQuietPeriod = 300ms;

template <class Envelope>
Bytes BytesOf(const Envelope& envelope) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&envelope);
    return Bytes(bytes, bytes + sizeof(Envelope));
}

template <class Envelope>
std::unique_ptr<Envelope> EnvelopeOf(const CopyDataMessage& message) {
    auto envelope = std::make_unique<Envelope>();
    std::memcpy(envelope.get(), message.bytes.data(), std::min(message.bytes.size(), sizeof(Envelope)));
    return envelope;
}

// A request as the library sends one: blank but for these fields.
template <class Envelope, class String>
std::unique_ptr<Envelope> Request(const String& payload, const String& requestId, std::int32_t length = 0) {
    auto request = MakeBlankEnvelope<Envelope>();
    EXPECT_TRUE(CopyToField(request->payload, payload));
    EXPECT_TRUE(CopyToField(request->requestId, requestId));
    request->length = length;
    return request;
}

// What the peer must send back: blank but for status, payload and request ID.
template <class Envelope, class String>
Bytes ExpectedAnswer(std::int32_t status, const String& payload, const String& requestId) {
    auto answer = MakeBlankEnvelope<Envelope>();
    answer->status = status;
    EXPECT_TRUE(CopyToField(answer->payload, payload));
    EXPECT_TRUE(CopyToField(answer->requestId, requestId));
    return BytesOf(*answer);
}

// Compares whole envelopes without printing 200 KB on failure.
::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << actual.size() << " bytes, expected " << expected.size();
    }
    const auto difference = std::mismatch(actual.begin(), actual.end(), expected.begin());
    if (difference.first != actual.end()) {
        return ::testing::AssertionFailure()
               << "byte " << (difference.first - actual.begin()) << " is " << int{*difference.first} << ", expected "
               << int{*difference.second};
    }
    return ::testing::AssertionSuccess();
}

std::string HandleCommandText(HWND window) { return std::to_string(reinterpret_cast<std::uintptr_t>(window)); }

void WriteTextFile(const std::wstring& path, const std::string& text) {
    std::ofstream file(path.c_str(), std::ios::binary);
    file << text;
}

// A peer process and a RawWindow standing in for the bridge window.
class PeerProcessTest : public ::testing::Test {
protected:
    void StartPeer(const std::vector<std::wstring>& arguments = {}) {
        peer_ = std::make_unique<PeerProcess>(arguments);
        ASSERT_NE(peer_->Window(), nullptr) << "vtxpeer.exe did not show its window";
    }

    // Sends `request` and returns what the peer's window procedure returned.
    template <class Envelope>
    LRESULT Send(std::uint32_t code, const Envelope& request) {
        return bridge_.SendEnvelope(peer_->Window(), code, request);
    }

    // The one message that arrived, after waiting for it.
    CopyDataMessage TheOnlyMessage() {
        EXPECT_TRUE(bridge_.WaitForMessages(1, kWait));
        const auto messages = bridge_.Messages();
        EXPECT_EQ(messages.size(), 1u);
        return messages.empty() ? CopyDataMessage{} : messages[0];
    }

    // Nothing beyond what already arrived.
    void ExpectNothingMoreArrives() {
        const std::size_t arrived = bridge_.Messages().size();
        EXPECT_FALSE(bridge_.WaitForMessages(arrived + 1, kQuietPeriod))
            << "unexpected message " << bridge_.Messages().back().code;
    }

    RawWindow bridge_;
    std::unique_ptr<PeerProcess> peer_;
};

TEST_F(PeerProcessTest, NarrowRequestIsAnsweredInlineByteForByte) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const auto request = Request<MessageEnvelope>(std::string("hello peer"), std::string("req-0001"), 10);

    EXPECT_EQ(Send(code::kSendRequest, *request), 1);
    ASSERT_EQ(bridge_.Messages().size(), 1u) << "an inline answer arrives before the send returns";

    const CopyDataMessage answer = TheOnlyMessage();
    EXPECT_EQ(answer.code, 1015u);
    EXPECT_EQ(answer.size, sizeof(MessageEnvelope));
    EXPECT_EQ(answer.sender, peer_->Window());
    EXPECT_TRUE(SameBytes(answer.bytes,
                          ExpectedAnswer<MessageEnvelope>(200, std::string("hello peer"), std::string("req-0001"))));
}

TEST_F(PeerProcessTest, WideRequestIsAnsweredInlineByteForByte) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const std::wstring payload = L"gr\u00FC\u00DFe \u20AC \U0001F600";
    const auto request = Request<MessageEnvelopeW>(payload, std::wstring(L"req-\u00FC"), 3);

    EXPECT_EQ(Send(code::kSendRequestW, *request), 1);
    ASSERT_EQ(bridge_.Messages().size(), 1u);

    const CopyDataMessage answer = TheOnlyMessage();
    EXPECT_EQ(answer.code, 2015u);
    EXPECT_EQ(answer.size, sizeof(MessageEnvelopeW));
    EXPECT_TRUE(SameBytes(answer.bytes, ExpectedAnswer<MessageEnvelopeW>(200, payload, std::wstring(L"req-\u00FC"))));
}

// Sends request `code` with `errorCode`, payload and ID set; the answer's
// code, status, payload and ID must be the expected ones.
struct DefaultCase {
    std::uint32_t code;
    const char* payload;
    std::int32_t errorCode;
    const char* expectedPayload;
};

template <class Envelope>
void ExpectDefaultAnswer(RawWindow& bridge, HWND peer, const DefaultCase& c) {
    using String = std::basic_string<std::remove_extent_t<decltype(Envelope::payload)>>;
    const std::string payload = c.payload;
    const std::string expected = c.expectedPayload;
    auto request = Request<Envelope>(String(payload.begin(), payload.end()), String(3, 'k'));
    request->errorCode = c.errorCode;
    bridge.Clear();
    EXPECT_EQ(bridge.SendEnvelope(peer, c.code, *request), 1) << c.code;
    const auto messages = bridge.Messages();
    ASSERT_EQ(messages.size(), 1u) << c.code;
    EXPECT_EQ(messages[0].code, c.code + 1);
    EXPECT_TRUE(SameBytes(messages[0].bytes, ExpectedAnswer<Envelope>(200, String(expected.begin(), expected.end()),
                                                                      String(3, 'k'))))
        << c.code;
}

TEST_F(PeerProcessTest, EveryRequestGetsItsDefaultAnswer) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const DefaultCase cases[] = {
        {1000, "", 0, ""},           {1002, "", 0, "JOB-0001"},   {1004, "param", 0, "param"},
        {1006, "response", 0, ""},   {1010, "", 42, "error 42"},  {1012, "", 0, ""},
        {1014, "echo", 0, "echo"},   {1018, "", 0, ""},           {1020, "", 0, ""},
        {1022, "", 0, ""},           {1010, "", -3, "error -3"},
    };
    for (const DefaultCase& c : cases) ExpectDefaultAnswer<MessageEnvelope>(bridge_, peer_->Window(), c);
    const DefaultCase wideCases[] = {
        {2000, "", 0, ""},         {2002, "", 0, "JOB-0001"},   {2004, "param", 0, "param"},
        {2006, "response", 0, ""}, {2010, "", 7, "error 7"},    {2014, "echo", 0, "echo"},
        {2022, "", 0, ""},
    };
    for (const DefaultCase& c : wideCases) ExpectDefaultAnswer<MessageEnvelopeW>(bridge_, peer_->Window(), c);
}

TEST_F(PeerProcessTest, BridgeIdSetWith1016ComesBackWith1018) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Send(code::kSetBridgeId, *Request<MessageEnvelope>(std::string("BRIDGE-7"), std::string())), 1);
    EXPECT_EQ(Send(code::kPoll, *MakeBlankEnvelope<MessageEnvelope>()), 1);
    EXPECT_EQ(Send(code::kPollW, *MakeBlankEnvelope<MessageEnvelopeW>()), 1);
    ExpectNothingMoreArrives();

    EXPECT_EQ(Send(code::kGetBridgeId, *Request<MessageEnvelope>(std::string(), std::string("id-18"))), 1);
    EXPECT_TRUE(SameBytes(TheOnlyMessage().bytes,
                          ExpectedAnswer<MessageEnvelope>(200, std::string("BRIDGE-7"), std::string("id-18"))));

    ASSERT_TRUE(peer_->Command("answer 1016 return=5"));
    EXPECT_EQ(Send(code::kSetBridgeId, *Request<MessageEnvelope>(std::string("B2"), std::string())), 5)
        << "the window procedure's return value is what the host sees";
}

TEST_F(PeerProcessTest, ConfiguredAtStartAndAtRuntime) {
    ASSERT_NO_FATAL_FAILURE(StartPeer({L"-c", L"answer 1014 status=500 payload=\"fixed text\""}));
    const auto request = Request<MessageEnvelope>(std::string("ignored"), std::string("r1"));
    EXPECT_EQ(Send(code::kSendRequest, *request), 1);
    EXPECT_TRUE(SameBytes(TheOnlyMessage().bytes,
                          ExpectedAnswer<MessageEnvelope>(500, std::string("fixed text"), std::string("r1"))));

    // A new rule for the code replaces the old one: the payload is the echo again.
    ASSERT_TRUE(peer_->Command("answer 1014 status=201"));
    bridge_.Clear();
    EXPECT_EQ(Send(code::kSendRequest, *request), 1);
    EXPECT_TRUE(SameBytes(TheOnlyMessage().bytes,
                          ExpectedAnswer<MessageEnvelope>(201, std::string("ignored"), std::string("r1"))));

    ASSERT_TRUE(peer_->Command("reset"));
    bridge_.Clear();
    EXPECT_EQ(Send(code::kSendRequest, *request), 1);
    EXPECT_EQ(EnvelopeOf<MessageEnvelope>(TheOnlyMessage())->status, 200);
}

TEST_F(PeerProcessTest, ScriptFileConfiguresThePeer) {
    TempDirectory directory(L"vtxpeer");
    ASSERT_TRUE(CreateDirectoryW(directory.Path().c_str(), nullptr));
    const std::wstring script = directory.File(L"peer.txt");
    WriteTextFile(script, "# answers for the wide send\r\nanswer 2014 status=202 payload=\"from a script\"\r\n");
    ASSERT_NO_FATAL_FAILURE(StartPeer({L"--script", script}));

    EXPECT_EQ(Send(code::kSendRequestW, *Request<MessageEnvelopeW>(std::wstring(L"x"), std::wstring(L"s"))), 1);
    EXPECT_TRUE(SameBytes(TheOnlyMessage().bytes,
                          ExpectedAnswer<MessageEnvelopeW>(202, std::wstring(L"from a script"), std::wstring(L"s"))));
}

TEST_F(PeerProcessTest, LateAnswersArriveAfterTheSendReturned) {
    ASSERT_NO_FATAL_FAILURE(StartPeer({L"-c", L"answer 1014 late=300 repeat=2"}));
    const auto request = Request<MessageEnvelope>(std::string("later"), std::string("late-1"));

    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(Send(code::kSendRequest, *request), 1);
    EXPECT_TRUE(bridge_.Messages().empty()) << "a late answer must not come from inside the window procedure";

    ASSERT_TRUE(bridge_.WaitForMessages(2, kWait));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 250ms);
    for (const auto& answer : bridge_.Messages()) {
        EXPECT_TRUE(
            SameBytes(answer.bytes, ExpectedAnswer<MessageEnvelope>(200, std::string("later"), std::string("late-1"))));
    }
}

TEST_F(PeerProcessTest, RandomDelaysAnswerEveryRequestOnce) {
    ASSERT_NO_FATAL_FAILURE(StartPeer({L"-c", L"answer 2014 late=10-150"}));
    constexpr int kRequests = 12;
    for (int i = 0; i < kRequests; ++i) {
        EXPECT_EQ(Send(code::kSendRequestW, *Request<MessageEnvelopeW>(std::wstring(L"p"), std::to_wstring(i))), 1);
    }
    ASSERT_TRUE(bridge_.WaitForMessages(kRequests, kWait));
    std::set<std::wstring> ids;
    for (const auto& answer : bridge_.Messages()) ids.insert(FieldText(EnvelopeOf<MessageEnvelopeW>(answer)->requestId));
    EXPECT_EQ(ids.size(), std::size_t{kRequests});
    ExpectNothingMoreArrives();
}

TEST_F(PeerProcessTest, SilentRefuseAndReturnValues) {
    ASSERT_NO_FATAL_FAILURE(StartPeer({L"-c", L"answer 1014 silent", L"-c", L"answer 2014 refuse", L"-c",
                                       L"answer 1002 return=7"}));
    EXPECT_EQ(Send(code::kSendRequest, *Request<MessageEnvelope>(std::string("s"), std::string("1"))), 1);
    EXPECT_EQ(Send(code::kSendRequestW, *Request<MessageEnvelopeW>(std::wstring(L"r"), std::wstring(L"2"))), 0);
    ExpectNothingMoreArrives();

    EXPECT_EQ(Send(code::kGetJobId, *Request<MessageEnvelope>(std::string(), std::string("3"))), 7);
    EXPECT_EQ(TheOnlyMessage().code, 1003u);
}

TEST_F(PeerProcessTest, RepeatedAnswersWithAnotherRequestId) {
    ASSERT_NO_FATAL_FAILURE(StartPeer({L"-c", L"answer 1014 repeat=3 id=unsolicited"}));
    EXPECT_EQ(Send(code::kSendRequest, *Request<MessageEnvelope>(std::string("rep"), std::string("mine"))), 1);
    const auto answers = bridge_.Messages();
    ASSERT_EQ(answers.size(), 3u);
    for (const auto& answer : answers) {
        EXPECT_TRUE(SameBytes(answer.bytes,
                              ExpectedAnswer<MessageEnvelope>(200, std::string("rep"), std::string("unsolicited"))));
    }
}

TEST_F(PeerProcessTest, UnknownCodesAreAcceptedAndNeverAnswered) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const char bytes[] = "not an envelope";
    EXPECT_EQ(bridge_.Send(peer_->Window(), 4242, bytes, sizeof(bytes)), 1);
    EXPECT_EQ(Send(3014, *MakeBlankEnvelope<MessageEnvelopeW>()), 1);
    ExpectNothingMoreArrives();
}

TEST_F(PeerProcessTest, TruncatedAndUnterminatedRequestsAreAnsweredFromTheirOwnBytes) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    // 10 bytes: the status and "hello" with its terminator; no request ID.
    auto request = Request<MessageEnvelope>(std::string("hello"), std::string("never sent"));
    EXPECT_EQ(bridge_.Send(peer_->Window(), code::kSendRequest, request.get(), 10), 1);
    EXPECT_TRUE(SameBytes(TheOnlyMessage().bytes, ExpectedAnswer<MessageEnvelope>(200, std::string("hello"),
                                                                                   std::string())));

    // Fields without terminators: the ID comes back unchanged, the echoed
    // payload loses its last unit to the terminator an answer must carry.
    bridge_.Clear();
    std::fill(std::begin(request->payload), std::end(request->payload), 'p');
    std::fill(std::begin(request->requestId), std::end(request->requestId), 'i');
    EXPECT_EQ(Send(code::kSendRequest, *request), 1);
    auto expected = MakeBlankEnvelope<MessageEnvelope>();
    expected->status = 200;
    std::fill(std::begin(expected->payload), std::end(expected->payload) - 1, 'p');
    std::fill(std::begin(expected->requestId), std::end(expected->requestId), 'i');
    EXPECT_TRUE(SameBytes(TheOnlyMessage().bytes, BytesOf(*expected)));

    bridge_.Clear();
    EXPECT_EQ(bridge_.Send(peer_->Window(), code::kGetJobIdW, nullptr, 0), 1);
    EXPECT_TRUE(SameBytes(TheOnlyMessage().bytes,
                          ExpectedAnswer<MessageEnvelopeW>(200, std::wstring(L"JOB-0001"), std::wstring())));
}

TEST_F(PeerProcessTest, ServerRequestsGoToTheLatestSender) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_FALSE(peer_->Command("serve narrow hi")) << "no bridge window is known before a message arrives";
    EXPECT_EQ(Send(code::kPoll, *MakeBlankEnvelope<MessageEnvelope>()), 1);

    ASSERT_TRUE(peer_->Command("serve narrow \"server text\""));
    CopyDataMessage request = TheOnlyMessage();
    EXPECT_EQ(request.code, 1009u);
    EXPECT_EQ(request.size, sizeof(MessageEnvelope));
    EXPECT_EQ(request.sender, peer_->Window());
    auto narrow = MakeBlankEnvelope<MessageEnvelope>();
    CopyToField(narrow->payload, std::string("server text"));
    EXPECT_TRUE(SameBytes(request.bytes, BytesOf(*narrow)));

    bridge_.Clear();
    ASSERT_TRUE(peer_->Command("serve wide \"gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\""));
    request = TheOnlyMessage();
    EXPECT_EQ(request.code, 2009u);
    EXPECT_EQ(request.size, sizeof(MessageEnvelopeW));
    auto wide = MakeBlankEnvelope<MessageEnvelopeW>();
    CopyToField(wide->payload, std::wstring(L"gr\u00FC\u00DFe \u20AC"));
    wide->length = 8;  // the text and its terminator
    EXPECT_TRUE(SameBytes(request.bytes, BytesOf(*wide)));

    bridge_.Clear();
    ASSERT_TRUE(peer_->Command("serve wide bad length=100001\nserve narrow n length=-4"));
    ASSERT_TRUE(bridge_.WaitForMessages(2, kWait));
    EXPECT_EQ(EnvelopeOf<MessageEnvelopeW>(bridge_.Messages()[0])->length, 100001);
    EXPECT_EQ(EnvelopeOf<MessageEnvelope>(bridge_.Messages()[1])->length, -4);

    // A bridge window that answers 0 refused it: the command fails (--control: 1).
    bridge_.SetReturnValue(0);
    EXPECT_FALSE(peer_->Command("serve narrow refused"));
}

TEST_F(PeerProcessTest, ServerRequestToAnExplicitWindow) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    RawWindow other;
    ASSERT_TRUE(peer_->Command("serve wide elsewhere to=" + HandleCommandText(other.Handle())));
    ASSERT_TRUE(other.WaitForMessages(1, kWait));
    EXPECT_EQ(other.Messages()[0].code, 2009u);
    EXPECT_EQ(FieldText(EnvelopeOf<MessageEnvelopeW>(other.Messages()[0])->payload), L"elsewhere");
    EXPECT_TRUE(bridge_.Messages().empty());
    EXPECT_FALSE(peer_->Command("serve narrow x to=0x7FFFFFF0")) << "no such window";
}

TEST_F(PeerProcessTest, TimersServeUntilStopped) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Send(code::kIsAlive, *MakeBlankEnvelope<MessageEnvelope>()), 1);
    bridge_.Clear();
    ASSERT_TRUE(peer_->Command("every 30 serve wide tick"));
    ASSERT_TRUE(bridge_.WaitForMessages(3, kWait));
    ASSERT_TRUE(peer_->Command("stop-timers"));
    const std::size_t served = bridge_.Messages().size();
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(bridge_.Messages().size(), served);
    for (const auto& request : bridge_.Messages()) {
        EXPECT_EQ(request.code, 2009u);
        EXPECT_EQ(FieldText(EnvelopeOf<MessageEnvelopeW>(request)->payload), L"tick");
    }
}

TEST_F(PeerProcessTest, RecordDirectoryHoldsTheExactBytes) {
    TempDirectory directory(L"vtxpeer");
    ASSERT_NO_FATAL_FAILURE(StartPeer({L"--record", directory.Path()}));
    const auto narrow = Request<MessageEnvelope>(std::string("recorded"), std::string("n"));
    const auto wide = Request<MessageEnvelopeW>(std::wstring(L"recorded"), std::wstring(L"w"));
    const char shortMessage[] = "12 bytes...";
    EXPECT_EQ(Send(code::kSendRequest, *narrow), 1);
    EXPECT_EQ(Send(code::kSendRequestW, *wide), 1);
    EXPECT_EQ(bridge_.Send(peer_->Window(), 4242, shortMessage, sizeof(shortMessage)), 1);
    ASSERT_TRUE(peer_->Command("answer 1014 status=201")) << "control messages are not recorded";
    EXPECT_EQ(bridge_.Send(peer_->Window(), code::kIsAlive, nullptr, 0), 1);

    EXPECT_TRUE(SameBytes(ReadFileBytes(directory.File(L"000001-1014.bin")), BytesOf(*narrow)));
    EXPECT_TRUE(SameBytes(ReadFileBytes(directory.File(L"000002-2014.bin")), BytesOf(*wide)));
    EXPECT_TRUE(SameBytes(ReadFileBytes(directory.File(L"000003-4242.bin")),
                          Bytes(shortMessage, shortMessage + sizeof(shortMessage))));
    EXPECT_NE(GetFileAttributesW(directory.File(L"000004-1020.bin").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(ReadFileBytes(directory.File(L"000004-1020.bin")).empty());
}

TEST_F(PeerProcessTest, TraceDescribesEveryMessageOnALine) {
    TempDirectory directory(L"vtxpeer");
    ASSERT_TRUE(CreateDirectoryW(directory.Path().c_str(), nullptr));
    const std::wstring trace = directory.File(L"trace.txt");
    ASSERT_NO_FATAL_FAILURE(StartPeer({L"--trace", trace}));
    EXPECT_EQ(Send(code::kSendRequest, *Request<MessageEnvelope>(std::string(500, 'x'), std::string("tr-1"), 500)), 1);
    ASSERT_TRUE(peer_->Command("answer 1014 silent"));

    const Bytes bytes = ReadFileBytes(trace);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("recv 1014 cb=100124 from="), std::string::npos) << text;
    EXPECT_NE(text.find("length=500 id=\"tr-1\" payload=\"" + std::string(60, 'x') + "\"... (500 units)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("send 1015 cb=100124 to="), std::string::npos) << text;
    EXPECT_NE(text.find("status=200 id=\"tr-1\""), std::string::npos) << text;
    EXPECT_NE(text.find("control \"answer 1014 silent\" -> ok"), std::string::npos) << text;
    EXPECT_EQ(text.find(std::string(61, 'x')), std::string::npos) << "payloads are shortened";
}

TEST_F(PeerProcessTest, ControlTextIsBoundedByItsSize) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_FALSE(peer_->Command("answer nonsense"));
    EXPECT_TRUE(peer_->Command(""));
    EXPECT_TRUE(peer_->Command(std::string("answer 1014 status=202\0ignored garbage", 38)));

    // cbData ends the text mid-word: the payload is what fits.
    const std::string command = "answer 2014 payload=abcdef";
    EXPECT_EQ(bridge_.Send(peer_->Window(), peer::kControlCode, command.data(), command.size() - 3), 1);
    bridge_.Clear();
    EXPECT_EQ(Send(code::kSendRequestW, *Request<MessageEnvelopeW>(std::wstring(L"e"), std::wstring(L"c"))), 1);
    EXPECT_EQ(FieldText(EnvelopeOf<MessageEnvelopeW>(TheOnlyMessage())->payload), L"abc");

    bridge_.Clear();
    EXPECT_EQ(Send(code::kSendRequest, *Request<MessageEnvelope>(std::string("e"), std::string("c"))), 1);
    EXPECT_EQ(EnvelopeOf<MessageEnvelope>(TheOnlyMessage())->status, 202);
}

TEST_F(PeerProcessTest, QuitAndExitAfterEndTheProcess) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_TRUE(peer_->Command("quit"));
    EXPECT_EQ(peer_->WaitForExit(kWait), DWORD{0});

    ASSERT_NO_FATAL_FAILURE(StartPeer({L"--exit-after", L"200"}));
    EXPECT_EQ(peer_->WaitForExit(kWait), DWORD{0});
}

TEST(PeerCommandLine, HelpAndBadOptions) {
    const auto help = PeerProcess::RunToEnd({L"--help"}, kWait);
    ASSERT_TRUE(help);
    EXPECT_EQ(help->exitCode, 0u);
    for (const char* text : {"--script <file>", "--record <dir>", "0x7650", "answer <code>", "serve narrow|wide",
                             "every <ms> serve", "stop-timers", "late=<min>-<max>"}) {
        EXPECT_NE(help->output.find(text), std::string::npos) << text;
    }

    struct Case {
        std::vector<std::wstring> arguments;
        const char* message;
    };
    const Case cases[] = {
        {{L"--bogus"}, "unknown option '--bogus'"},
        {{L"--trace"}, "--trace needs a value"},
        {{L"-c", L"answer 1014 status=x"}, "-c \"answer 1014 status=x\": status must be"},
        {{L"--exit-after", L"soon"}, "--exit-after needs a positive number"},
        {{L"--script", L"Z:\\no\\such\\script.txt"}, "script Z:\\no\\such\\script.txt: cannot open"},
        {{L"-c", L"serve narrow hi"}, "no bridge window known"},
        {{L"-c", L"answer 1014 id=" + std::wstring(40, L'i')}, "id has 40"},
    };
    for (const Case& c : cases) {
        const auto outcome = PeerProcess::RunToEnd(c.arguments, kWait);
        ASSERT_TRUE(outcome) << c.message;
        EXPECT_EQ(outcome->exitCode, 2u) << c.message;
        EXPECT_NE(outcome->output.find(c.message), std::string::npos) << outcome->output;
    }
}

TEST(PeerCommandLine, ScriptErrorsNameFileAndLine) {
    TempDirectory directory(L"vtxpeer");
    ASSERT_TRUE(CreateDirectoryW(directory.Path().c_str(), nullptr));
    const std::wstring script = directory.File(L"bad.txt");
    WriteTextFile(script, "answer 1014\nanswer 1014 repeat=0\n");
    const auto outcome = PeerProcess::RunToEnd({L"--script", script}, kWait);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->exitCode, 2u);
    EXPECT_NE(outcome->output.find("bad.txt:2: repeat must be"), std::string::npos) << outcome->output;
}

// The peer on a thread of this process, as the library's own tests use it.
class InProcessPeer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(peer_.Start(&error)) << error;
    }
    peer::Peer peer_;
    RawWindow bridge_;
};

TEST_F(InProcessPeer, FoundByClassAndRecordsWhatArrives) {
    EXPECT_EQ(FindWindowW(L"VantixConnect", nullptr), peer_.Window());
    const auto request = Request<MessageEnvelope>(std::string("in"), std::string("proc"));
    EXPECT_EQ(bridge_.SendEnvelope(peer_.Window(), code::kSendRequest, *request), 1);
    const char tail[] = "xyz";
    EXPECT_EQ(bridge_.Send(peer_.Window(), 77, tail, 2), 1);

    ASSERT_TRUE(peer_.WaitForReceived(2, kWait));
    const auto received = peer_.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].code, 1014u);
    EXPECT_EQ(received[0].size, sizeof(MessageEnvelope));
    EXPECT_EQ(received[0].sender, bridge_.Handle());
    EXPECT_TRUE(SameBytes(received[0].bytes, BytesOf(*request)));
    EXPECT_EQ(received[1].bytes, (Bytes{'x', 'y'})) << "copied within cbData";

    const auto sent = peer_.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, 1015u);
    EXPECT_EQ(sent[0].target, bridge_.Handle());
    EXPECT_TRUE(sent[0].delivered);
    EXPECT_EQ(sent[0].result, 1);

    peer_.ClearReceived();
    EXPECT_TRUE(peer_.Received().empty());
    EXPECT_FALSE(peer_.WaitForReceived(1, 50ms));
}

TEST_F(InProcessPeer, ExecuteReportsWhatWentWrong) {
    EXPECT_TRUE(peer_.Execute("answer 1014 status=203").ok);
    const auto parseError = peer_.Execute("answer 1014\nbogus");
    EXPECT_FALSE(parseError.ok);
    EXPECT_EQ(parseError.error.rfind("line 2: unknown command", 0), 0u) << parseError.error;
    EXPECT_NE(peer_.Execute("serve narrow hi").error.find("no bridge window"), std::string::npos);
    EXPECT_NE(peer_.Execute("answer 1014 payload=" + std::string(100000, 'p')).error.find("at most 99999"),
              std::string::npos);

    EXPECT_EQ(bridge_.SendEnvelope(peer_.Window(), code::kSendRequest, *MakeBlankEnvelope<MessageEnvelope>()), 1);
    ASSERT_TRUE(bridge_.WaitForMessages(1, kWait));
    EXPECT_EQ(EnvelopeOf<MessageEnvelope>(bridge_.Messages()[0])->status, 203);
}

TEST_F(InProcessPeer, ExecuteFromManyThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (int j = 0; j < 25; ++j) {
                if (!peer_.Execute("answer " + std::to_string(1014 + i) + " status=" + std::to_string(j)).ok) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(InProcessPeer, QuitEndsThePeerAndStopStillWorks) {
    EXPECT_FALSE(peer_.Start()) << "already running";
    EXPECT_TRUE(peer_.Execute("quit").ok);
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (peer_.Window() != nullptr && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(peer_.Window(), nullptr);
    EXPECT_FALSE(peer_.Execute("reset").ok);
    peer_.Stop();
    EXPECT_EQ(FindWindowW(L"VantixConnect", nullptr), nullptr);
}

// Runs again under the Korean ANSI code page (see tests/CMakeLists.txt):
// narrow texts must be converted to the code page, not sent as UTF-8.
TEST_F(InProcessPeer, NarrowTextsUseTheAnsiCodePage949) {
    if (GetACP() != 949) GTEST_SKIP() << "needs the Korean ANSI code page";
    EXPECT_EQ(bridge_.SendEnvelope(peer_.Window(), code::kPoll, *MakeBlankEnvelope<MessageEnvelope>()), 1);
    ASSERT_TRUE(peer_.Execute("serve narrow \"\xED\x95\x9C\xEA\xB5\xAD\"").ok);
    ASSERT_TRUE(bridge_.WaitForMessages(1, kWait));
    const auto request = EnvelopeOf<MessageEnvelope>(bridge_.Messages()[0]);
    EXPECT_EQ(FieldText(request->payload), std::string("\xC7\xD1\xB1\xB9"));
}

}  // namespace
}  // namespace vtx::test
