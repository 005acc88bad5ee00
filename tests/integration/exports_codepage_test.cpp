// Narrow texts under the Korean ANSI code page 949, where a Hangul syllable
// takes two bytes: narrow texts travel as those bytes, and every narrow
// capacity and length counts bytes, not characters. These tests run again,
// all in one process, under that code page (see tests/CMakeLists.txt).
#include "exports_fixture.h"

#include <vector>

namespace vtx::test {
namespace {

// "Han", "guk", "eo" and their bytes in code page 949.
const std::wstring kHanguk = L"\uD55C\uAD6D";
const std::wstring kHangukeo = L"\uD55C\uAD6D\uC5B4";
const std::string kHangukBytes = "\xC7\xD1\xB1\xB9";
const std::string kHangukeoBytes = "\xC7\xD1\xB1\xB9\xBE\xEE";

class NarrowHangulCodePage949 : public ExportsTest {
protected:
    void SetUp() override {
        if (GetACP() != 949) GTEST_SKIP() << "needs the Korean ANSI code page (runs as ko949.exports_tests)";
        ASSERT_EQ(ToAnsi(kHangukeo), kHangukeoBytes);
        ExportsTest::SetUp();
    }
    // In the code page 949 run these tests share one load of the library
    // (it is never unloaded): the next test must find no session open.
    void TearDown() override {
        if (library_ && peer_ && peer_->Window() != nullptr) library_->deinit();
        ExportsTest::TearDown();
    }
};

TEST_F(NarrowHangulCodePage949, RequestsCarryTheCodePageBytes) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    const std::size_t before = Records().size();
    EXPECT_EQ(std::string(Lib().sendrequest(kHangukeoBytes.c_str(), 6)), kHangukeoBytes);
    EXPECT_EQ(Lib().sendresponse(kHangukBytes.c_str(), 0), kOk);
    const auto records = RecordsAfter(before);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(IsRequest(records[0], code::kSendRequest, *Expected<MessageEnvelope>(kHangukeoBytes, 6)));
    EXPECT_TRUE(IsRequest(records[1], code::kSendResponse, *Expected<MessageEnvelope>(kHangukBytes, 5)))
        << "length counts bytes: 4 + terminator";
}

TEST_F(NarrowHangulCodePage949, CallerBuffersCountTwoBytesPerSyllable) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    EXPECT_BUFFER_CONVENTION(char, ([&](char* buffer, unsigned int* length) {
                                 return Lib().sendrequestparam(kHangukeoBytes.c_str(), 6, buffer, length);
                             }),
                             kHangukeoBytes);

    ASSERT_TRUE(Peer("answer 1002,2002 payload=" + PeerWord(kHanguk)));
    EXPECT_BUFFER_CONVENTION(char, ([&](char* buffer, unsigned int* length) {
                                 return Lib().getjobid(buffer, length);
                             }),
                             kHangukBytes);
    EXPECT_BUFFER_CONVENTION(wchar_t, ([&](wchar_t* buffer, unsigned int* length) {
                                 return Lib().getjobidw(buffer, length);
                             }),
                             kHanguk);
}

TEST_F(NarrowHangulCodePage949, GetRequestMessageCountsBytesInTheNarrowForm) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    ASSERT_TRUE(Peer("serve wide " + PeerWord(kHanguk) + "\nserve narrow " + PeerWord(kHangukeo)));

    char buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), kSentinel<char>);
    unsigned int length = 4;  // two syllables: four bytes, no room for the terminator
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kDoesNotFit);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(buffer[0], kSentinel<char>);
    length = 5;
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kOk);
    EXPECT_EQ(std::string(buffer), kHangukBytes);
    EXPECT_EQ(length, 4u);

    // A narrow server request is read in the code page, so the wide form
    // gets three characters.
    wchar_t wide[16] = {};
    length = 3;
    EXPECT_EQ(Lib().getrequestmessagew(wide, &length), kDoesNotFit);
    EXPECT_EQ(length, 3u);
    length = 4;
    EXPECT_EQ(Lib().getrequestmessagew(wide, &length), kOk);
    EXPECT_EQ(std::wstring(wide), kHangukeo);
    EXPECT_EQ(length, 3u);
}

// A wide server request of the longest text grows to two bytes a syllable in
// the narrow form: VTX_TEXT_CAPACITY is not enough there, but the header's
// capacity for the narrow poll is, and the text waits in the queue meanwhile.
TEST_F(NarrowHangulCodePage949, LongestWideServerRequestFitsTheNarrowPollCapacity) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    const std::wstring longest(VTX_MAX_PAYLOAD_CHARS, L'\uD55C');
    ASSERT_TRUE(Peer("serve wide " + PeerWord(longest)));

    std::vector<char> buffer(VTX_REQUEST_MESSAGE_CAPACITY);
    unsigned int length = VTX_TEXT_CAPACITY;
    EXPECT_EQ(Lib().getrequestmessage(buffer.data(), &length), kDoesNotFit);
    length = VTX_REQUEST_MESSAGE_CAPACITY;
    EXPECT_EQ(Lib().getrequestmessage(buffer.data(), &length), kOk);
    EXPECT_EQ(length, 2u * VTX_MAX_PAYLOAD_CHARS);
    EXPECT_EQ(std::string(buffer.data(), 2), "\xC7\xD1");
}

// The narrow field limits are bytes too: 23 for login texts, 15 for initText.
TEST_F(NarrowHangulCodePage949, FieldLimitsCountBytes) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const std::wstring eleven(11, L'\uD55C');
    const std::string elevenBytes = ToAnsi(eleven);     // 22 bytes
    const std::string twelveBytes = ToAnsi(eleven + L'\uD55C');  // 24 bytes
    const std::string twentyThree = elevenBytes + "x";  // 23 bytes
    ASSERT_EQ(twelveBytes.size(), 24u);

    EXPECT_EQ(Lib().login(twelveBytes.c_str(), "ok"), kDoesNotFit);
    EXPECT_EQ(Lib().login("ok", twelveBytes.c_str()), kDoesNotFit);
    const std::string eightSyllables = ToAnsi(std::wstring(8, L'\uAD6D'));  // 16 bytes
    EXPECT_EQ(Lib().init(1, eightSyllables.c_str(), 1, nullptr), kDoesNotFit);
    EXPECT_TRUE(Records().empty());

    EXPECT_EQ(Lib().login(twentyThree.c_str(), elevenBytes.c_str()), kOk);
    // Twelve syllables are twelve units in the wide form: they fit.
    const std::wstring twelve = eleven + L'\uD55C';
    EXPECT_EQ(Lib().loginw(0, twelve.c_str(), twelve.c_str()), kOk);
    const std::string fifteen = ToAnsi(std::wstring(7, L'\uAD6D')) + "x";
    EXPECT_EQ(Lib().init(1, fifteen.c_str(), 1, nullptr), kOk);

    const auto records = Records();
    ASSERT_EQ(records.size(), 3u);
    auto login = MakeBlankEnvelope<MessageEnvelope>();
    CopyToField(login->loginText1, twentyThree);
    CopyToField(login->loginText2, elevenBytes);
    EXPECT_TRUE(IsRequest(records[0], code::kLogin, *login));
    auto loginW = MakeBlankEnvelope<MessageEnvelopeW>();
    CopyToField(loginW->loginText1, twelve);
    CopyToField(loginW->loginText2, twelve);
    EXPECT_TRUE(IsRequest(records[1], code::kLoginW, *loginW));
    auto init = MakeBlankEnvelope<MessageEnvelope>();
    init->initValue = 1;
    CopyToField(init->initText, fifteen);
    init->pollMode = 1;
    EXPECT_TRUE(IsRequest(records[2], code::kInit, *init));
}

// Last of the group: the callback worker it starts serves the rest of the
// load, which the code page 949 run shares among these tests.
TEST_F(NarrowHangulCodePage949, NarrowCallbackGetsBytes) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    ASSERT_TRUE(Peer("serve wide " + PeerWord(kHanguk) + "\nserve narrow " + PeerWord(kHangukeo)));
    ASSERT_TRUE(CallbackLog::Instance().WaitFor(2, kPatience));
    const auto calls = CallbackLog::Instance().Calls();
    EXPECT_EQ(calls[0].Narrow(), kHangukBytes);
    EXPECT_EQ(calls[0].length, 4u);
    EXPECT_EQ(calls[1].Narrow(), kHangukeoBytes);
    EXPECT_EQ(calls[1].length, 6u);
}

}  // namespace
}  // namespace vtx::test
