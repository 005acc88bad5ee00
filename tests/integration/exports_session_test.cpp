// Opening and closing a session: vtx_init, vtx_initw and vtx_deinit, seen
// from the host and, byte for byte, from the peer.
#include "exports_fixture.h"
#include "support/import_patch.h"

namespace vtx::test {
namespace {

// A registry that refuses every write.
LONG WINAPI RefuseKey(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}
LONG WINAPI RefuseValue(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }

template <class Api>
using SessionForms = ExportsFormTest<Api>;
TYPED_TEST_SUITE(SessionForms, BothForms, FormNames);

using SessionExports = ExportsTest;

// The mixed runs (mixed.*) start the other build's peer: a 32-bit host with a
// 64-bit peer or the reverse. They prove nothing unless the peer really is of
// the other bitness, and the plain runs nothing unless it is not.
TEST_F(SessionExports, PeerHasTheBitnessTheRunAsksFor) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const std::optional<bool> same = ChildProcess::SameBitness(peer_->ProcessId());
    ASSERT_TRUE(same.has_value()) << "cannot ask the peer process for its bitness";
    EXPECT_EQ(*same, !PeerProcess::Chosen().has_value()) << "VTX_TEST_PEER chooses the other bitness's peer";
    EXPECT_EQ(Lib().login("user", "secret"), kOk);
}

TYPED_TEST(SessionForms, InitSendsItsFieldsPublishesTheFolderAndOpensTheSession) {
    using Api = TypeParam;
    const PrivateCurrentUser registry;
    ASSERT_TRUE(registry.Active()) << "cannot redirect HKEY_CURRENT_USER for this test";
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());

    const auto initText = Api::Text(L"chart-\u00FC 15 max!");  // 15 units: the longest accepted
    ASSERT_EQ(initText.size(), 15u);
    EXPECT_EQ(Api::Init(this->Lib(), -123456, initText.c_str(), 7, nullptr), kOk);

    const auto records = this->Records();
    ASSERT_EQ(records.size(), 1u);
    auto expected = MakeBlankEnvelope<typename Api::Envelope>();
    expected->initValue = -123456;
    CopyToField(expected->initText, initText);
    expected->pollMode = 7;
    EXPECT_TRUE(IsRequest(records[0], Api::Code(code::kInit), *expected));

    // The peer finds the host's folder (not the DLL's file) in the registry.
    std::wstring folder = ExecutableFolder();
    folder.pop_back();
    EXPECT_EQ(registry.BridgePath(), folder);

    // Open: the alive check needs a session and is sent.
    EXPECT_EQ(this->Lib().iswcalive(), kOk);
    EXPECT_EQ(this->RecordsAfter(1).size(), 1u);

    // A failed registry write is ignored: the session opens all the same.
    EXPECT_EQ(this->Lib().deinit(), kOk);
    const HMODULE library = GetModuleHandleW(L"vtxbridge.dll");
    const ImportPatch key(library, "advapi32.dll", "RegCreateKeyExW", reinterpret_cast<void*>(&RefuseKey));
    const ImportPatch value(library, "advapi32.dll", "RegSetValueExW", reinterpret_cast<void*>(&RefuseValue));
    ASSERT_TRUE(key.Applied() && value.Applied()) << "the library writes the value with these two";
    EXPECT_EQ(Api::Init(this->Lib(), 1, initText.c_str(), 1, nullptr), kOk);
    EXPECT_EQ(this->Lib().iswcalive(), kOk);
}

TYPED_TEST(SessionForms, PollModeZeroWithoutCallbackIsAcceptedButOpensNothing) {
    using Api = TypeParam;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    const auto text = Api::Text(L"no-callback");

    EXPECT_EQ(Api::Init(this->Lib(), 5, text.c_str(), 0, nullptr), kNoCallback);
    EXPECT_EQ(this->Lib().iswcalive(), kNotOpen) << "no session may be open";
    // Not open, so a repeated init is sent again rather than refused with 9.
    EXPECT_EQ(Api::Init(this->Lib(), 5, text.c_str(), 0, nullptr), kNoCallback);

    auto records = this->Records();
    ASSERT_EQ(records.size(), 2u) << "two inits, and no alive check";
    auto expected = MakeBlankEnvelope<typename Api::Envelope>();
    expected->initValue = 5;
    CopyToField(expected->initText, text);
    expected->pollMode = 0;
    EXPECT_TRUE(IsRequest(records[0], Api::Code(code::kInit), *expected));
    EXPECT_TRUE(IsRequest(records[1], Api::Code(code::kInit), *expected));
    EXPECT_NE(RequestIdOf<typename Api::Envelope>(records[0]), RequestIdOf<typename Api::Envelope>(records[1]));

    // No worker was started either: nothing polls on its own.
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(this->Records().size(), 2u);

    // The library is still usable for a polling session.
    EXPECT_EQ(Api::Init(this->Lib(), 5, text.c_str(), 1, nullptr), kOk);
    EXPECT_EQ(this->Lib().iswcalive(), kOk);
}

TYPED_TEST(SessionForms, InitReturnsAnyOtherPeerStatusAndStaysClosed) {
    using Api = TypeParam;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    const auto text = Api::Text(L"status");
    const struct {
        int status;
        int pollMode;
        ServerRequestCallback callback;
    } cases[] = {{201, 1, nullptr}, {6, 1, nullptr},   {5, 1, nullptr},          {9, 1, nullptr},
                 {14, 1, nullptr},  {0, 1, nullptr},   {-1, 1, nullptr},         {201, 0, nullptr},
                 {500, 0, nullptr}, {201, 0, Api::Callback()}, {6, 0, Api::Callback()}};
    for (const auto& c : cases) {
        SCOPED_TRACE("peer status " + std::to_string(c.status) + ", pollMode " + std::to_string(c.pollMode) +
                     (c.callback ? ", callback" : ""));
        ASSERT_TRUE(this->Peer(AnswerRule(Api::Code(code::kInit), "status=" + std::to_string(c.status))));
        const std::size_t before = this->Records().size();
        EXPECT_EQ(Api::Init(this->Lib(), 1, text.c_str(), c.pollMode, c.callback), c.status);
        EXPECT_EQ(this->Lib().iswcalive(), kNotOpen);
        EXPECT_EQ(this->RecordsAfter(before).size(), 1u) << "the init alone";
    }
    // A refused session starts no callback worker: nothing polls.
    const std::size_t before = this->Records().size();
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(this->Records().size(), before);

    ASSERT_TRUE(this->Peer(AnswerRule(Api::Code(code::kInit), "status=200")));
    EXPECT_EQ(Api::Init(this->Lib(), 1, text.c_str(), 1, nullptr), kOk);
    ASSERT_TRUE(this->Peer("serve narrow polled"));
    typename Api::Char buffer[16] = {};
    unsigned int length = 16;
    EXPECT_EQ(Api::GetRequestMessage(this->Lib(), buffer, &length), kOk) << "no worker took the polling over";
}

TEST_F(SessionExports, InitWhileOpenReturnsNineAndSendsNothing) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    const std::size_t before = Records().size();

    EXPECT_EQ(Lib().init(2, "again", 1, nullptr), kAlreadyOpen);
    EXPECT_EQ(Lib().initw(2, L"again", 1, nullptr), kAlreadyOpen);
    // Refused before anything starts: no callback worker begins to poll.
    EXPECT_EQ(Lib().init(2, "again", 0, &RecordNarrowCallback), kAlreadyOpen);
    EXPECT_EQ(Lib().initw(2, L"again", 0, &RecordWideCallback), kAlreadyOpen);
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(Records().size(), before);

    // The session is untouched: still narrow polling, requests still answered.
    EXPECT_STREQ(Lib().sendrequest("still open", 10), "still open");
    char buffer[8] = {};
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kNothingQueued);
    const auto after = RecordsAfter(before);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].code, code::kPoll) << "the session must still be narrow";
}

TEST_F(SessionExports, DeinitIsSentNarrowWithOrWithoutASession) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const auto blank = MakeBlankEnvelope<MessageEnvelope>();

    // Without a session it is sent all the same.
    EXPECT_EQ(Lib().deinit(), kOk);
    auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(IsRequest(records[0], code::kDeinit, *blank));

    // After a wide session: still the narrow message and envelope.
    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    EXPECT_EQ(Lib().deinit(), kOk);
    records = Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_TRUE(IsRequest(records[2], code::kDeinit, *blank));
    EXPECT_NE(RequestIdOf<MessageEnvelope>(records[0]), RequestIdOf<MessageEnvelope>(records[2]));

    // Closed: every export that needs a session says so and sends nothing.
    char buffer[64] = {};
    unsigned int length = sizeof(buffer);
    wchar_t wideBuffer[64] = {};
    unsigned int wideLength = 64;
    EXPECT_EQ(Lib().iswcalive(), kNotOpen);
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kNotOpen);
    EXPECT_EQ(Lib().getrequestmessagew(wideBuffer, &wideLength), kNotOpen);
    EXPECT_EQ(Lib().sendrequest("closed", 6), ErrorText(kNotOpen));
    EXPECT_EQ(Records().size(), 3u);

    // And a new session may be opened, in either form.
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());
    EXPECT_EQ(Lib().iswcalive(), kOk);
}

TEST_F(SessionExports, DeinitAfterInitWDiscardsQueuedServerRequests) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    ASSERT_TRUE(Peer("serve wide \"first\"\nserve narrow \"second\""));

    EXPECT_EQ(Lib().deinit(), kOk);
    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    wchar_t buffer[64] = {};
    unsigned int length = 64;
    EXPECT_EQ(Lib().getrequestmessagew(buffer, &length), kNothingQueued) << "queued texts must not outlive deinit";
    EXPECT_EQ(length, 64u);
}

TEST_F(SessionExports, DeinitWithAnotherPeerStatusKeepsTheSessionItsQueueAndItsCallback) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    for (const int status : {201, 6, 14, 8, 0, -1}) {
        SCOPED_TRACE("peer status " + std::to_string(status));
        ASSERT_TRUE(Peer("serve wide kept"));
        ASSERT_TRUE(Peer(AnswerRule(code::kDeinit, "status=" + std::to_string(status))));
        EXPECT_EQ(Lib().deinit(), status);

        EXPECT_EQ(Lib().initw(1, L"again", 1, nullptr), kAlreadyOpen);
        wchar_t buffer[16] = {};
        unsigned int length = 16;
        EXPECT_EQ(Lib().getrequestmessagew(buffer, &length), kOk) << "the queue must be kept";
        EXPECT_EQ(std::wstring(buffer), L"kept");
        EXPECT_EQ(length, 4u);
    }

    // A deinit the peer refuses to take changes nothing either.
    ASSERT_TRUE(Peer(AnswerRule(code::kDeinit, "refuse")));
    EXPECT_EQ(Lib().deinit(), kNotDelivered);
    EXPECT_EQ(Lib().iswcalive(), kOk);

    ASSERT_TRUE(Peer(AnswerRule(code::kDeinit, "status=200")));
    EXPECT_EQ(Lib().deinit(), kOk);
    EXPECT_EQ(Lib().iswcalive(), kNotOpen);

    // A callback session goes on too: its callback still gets server requests.
    EXPECT_EQ(Lib().init(1, "cb", 0, &RecordNarrowCallback), kOk);
    ASSERT_TRUE(Peer(AnswerRule(code::kDeinit, "status=503")));
    EXPECT_EQ(Lib().deinit(), 503);
    ASSERT_TRUE(Peer("serve narrow after-503"));
    EXPECT_TRUE(CallbackLog::Instance().WaitFor(1, kPatience)) << "the refused deinit ended the callback session";
    EXPECT_EQ(Lib().iswcalive(), kOk);
    ASSERT_TRUE(Peer(AnswerRule(code::kDeinit, "status=200")));
    EXPECT_EQ(Lib().deinit(), kOk);
    EXPECT_EQ(Lib().iswcalive(), kNotOpen);
}

}  // namespace
}  // namespace vtx::test
