// Login, the alive check and the bridge ID: vtx_login(w), vtx_iswcalive,
// vtx_setbridgeid and vtx_getbridgeid.
#include "exports_fixture.h"

namespace vtx::test {
namespace {

template <class Api>
using IdentityForms = ExportsFormTest<Api>;
TYPED_TEST_SUITE(IdentityForms, BothForms, FormNames);

using IdentityExports = ExportsTest;

TYPED_TEST(IdentityForms, LoginNeedsNoSessionAndReturnsThePeersStatus) {
    using Api = TypeParam;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    const std::uint32_t requestCode = Api::Code(code::kLogin);
    const auto user = Api::Text(L"user \u00FC");
    const auto secret = Api::Text(L"23 units are the limit!");
    ASSERT_EQ(secret.size(), 23u);

    for (const int status : {200, 201, 6, 14, 8, 0, -1}) {
        SCOPED_TRACE("peer status " + std::to_string(status));
        ASSERT_TRUE(this->Peer(AnswerRule(requestCode, "status=" + std::to_string(status))));
        const std::size_t before = this->Records().size();
        EXPECT_EQ(Api::Login(this->Lib(), user.c_str(), secret.c_str()), status);

        const auto records = this->RecordsAfter(before);
        ASSERT_EQ(records.size(), 1u);
        auto expected = MakeBlankEnvelope<typename Api::Envelope>();
        CopyToField(expected->loginText1, user);
        CopyToField(expected->loginText2, secret);
        EXPECT_TRUE(IsRequest(records[0], requestCode, *expected));
    }

    const auto empty = Api::Text(L"");
    const std::size_t before = this->Records().size();
    EXPECT_EQ(Api::Login(this->Lib(), empty.c_str(), empty.c_str()), -1);
    const auto records = this->RecordsAfter(before);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(IsRequest(records[0], requestCode, *MakeBlankEnvelope<typename Api::Envelope>()));
}

TEST_F(IdentityExports, IsAliveNeedsASessionAndIsAlwaysNarrow) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(Lib().iswcalive(), kNotOpen);
    EXPECT_TRUE(Records().empty()) << "nothing is sent without a session";

    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    for (const int status : {200, 201, 6, 14, 0}) {
        SCOPED_TRACE("peer status " + std::to_string(status));
        ASSERT_TRUE(Peer(AnswerRule(code::kIsAlive, "status=" + std::to_string(status))));
        const std::size_t before = Records().size();
        EXPECT_EQ(Lib().iswcalive(), status);
        const auto records = RecordsAfter(before);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_TRUE(IsRequest(records[0], code::kIsAlive, *MakeBlankEnvelope<MessageEnvelope>()));
    }
    ASSERT_TRUE(Peer(AnswerRule(code::kIsAlive, "refuse")));
    EXPECT_EQ(Lib().iswcalive(), kNotDelivered);
}

TEST_F(IdentityExports, SetBridgeIdReturnsWhatThePeersWindowReturned) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    // No session needed; the peer's window procedure result is the answer.
    const struct {
        const char* rule;
        int result;
    } cases[] = {
        {"return=1", 1}, {"return=7", 7}, {"return=-3", -3}, {"return=200", 200}, {"return=0", 0}, {"refuse", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        ASSERT_TRUE(Peer(AnswerRule(code::kSetBridgeId, c.rule)));
        const std::size_t before = Records().size();
        EXPECT_EQ(Lib().setbridgeid("BR-\xFC 77"), c.result);
        const auto records = RecordsAfter(before);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_TRUE(IsRequest(records[0], code::kSetBridgeId, *Expected<MessageEnvelope>("BR-\xFC 77")));
    }

    // Nothing is awaited: a peer that answers late, or never, does not hold it.
    ASSERT_TRUE(Peer(AnswerRule(code::kSetBridgeId, "late=3000 return=5")));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Lib().setbridgeid("quick"), 5);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(IdentityExports, GetBridgeIdReturnsThePeersTextWhateverItsStatus) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    EXPECT_EQ(std::string(Lib().getbridgeid()), ErrorText(kNotOpen));
    EXPECT_TRUE(Records().empty());

    ASSERT_NO_FATAL_FAILURE(OpenSession<WideApi>());
    ASSERT_EQ(Lib().setbridgeid("BR-77"), 1);
    std::size_t before = Records().size();
    const char* first = Lib().getbridgeid();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "BR-77") << "the peer answers with the ID last set";
    auto records = RecordsAfter(before);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(IsRequest(records[0], code::kGetBridgeId, *MakeBlankEnvelope<MessageEnvelope>()));

    // Whatever the status, and whatever the length: the text goes behind
    // the pointer handed out first.
    const struct {
        int status;
        std::wstring payload;
    } cases[] = {{201, L"other \u00FC"},
                 {6, L"six"},
                 {14, L""},
                 {0, L"a bridge ID of thirty-one chars"},
                 {200, std::wstring(300, L'b')},
                 {200, L"short"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("peer status " + std::to_string(c.status) + ", " + std::to_string(c.payload.size()) + " chars");
        ASSERT_TRUE(Peer(AnswerRule(code::kGetBridgeId,
                                    "status=" + std::to_string(c.status) + " payload=" + PeerWord(c.payload))));
        const char* latest = Lib().getbridgeid();
        EXPECT_EQ(std::string(latest), ToAnsi(c.payload));
        EXPECT_EQ(latest, first) << "the first pointer no longer shows the latest text";
    }
    // vtx_sendrequest has a string of its own.
    EXPECT_STRNE(Lib().sendrequest("request", 7), first);
    EXPECT_STREQ(first, "short");

    ASSERT_TRUE(Peer(AnswerRule(code::kGetBridgeId, "refuse")));
    EXPECT_EQ(std::string(Lib().getbridgeid()), ErrorText(kNotDelivered));
}

}  // namespace
}  // namespace vtx::test
