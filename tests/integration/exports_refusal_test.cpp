// Host texts and pointers the library refuses before anything is sent, and
// the texts at the very limit that must still go out.
#include "exports_fixture.h"

namespace vtx::test {
namespace {

using RefusalExports = ExportsTest;

constexpr std::size_t kPayloadLimit = kPayloadUnits - 1;  // 99999

// One refused call: what it returned, as text, against what it must return.
struct Refusal {
    const char* name;
    std::function<std::string()> call;
    std::string expected;
};

std::string Code(int result) { return std::to_string(result); }
std::string Text(const char* text) { return text; }
std::string Text(const wchar_t* text) { return ToUtf8(text); }

TEST_F(RefusalExports, TextsThatDoNotFitAndNullPointersAreRefusedWithoutSending) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());

    const std::string longText(kPayloadUnits, 'p');
    const std::wstring longWide(kPayloadUnits, L'p');
    const std::string login24(kLoginTextUnits, 'l');
    const std::wstring login24w(kLoginTextUnits, L'l');
    const char* ok = "ok";
    const wchar_t* okw = L"ok";
    // Filled and sized, so a refused call that wrote anyway shows.
    char buffer[64];
    wchar_t wide[64];
    unsigned int length = 64;
    std::fill(std::begin(buffer), std::end(buffer), kSentinel<char>);
    std::fill(std::begin(wide), std::end(wide), kSentinel<wchar_t>);
    const std::string seven = Code(kDoesNotFit);
    const auto& l = Lib();

    const Refusal refusals[] = {
        {"sendrequest long", [&] { return Text(l.sendrequest(longText.c_str(), 1)); }, ErrorText(kDoesNotFit)},
        {"sendrequest null", [&] { return Text(l.sendrequest(nullptr, 0)); }, ErrorText(kDoesNotFit)},
        {"sendrequestw long", [&] { return Text(l.sendrequestw(longWide.c_str(), 1)); }, ErrorText(kDoesNotFit)},
        {"sendrequestw null", [&] { return Text(l.sendrequestw(nullptr, 0)); }, ErrorText(kDoesNotFit)},
        {"sendrequestparam long", [&] { return Code(l.sendrequestparam(longText.c_str(), 1, buffer, &length)); }, seven},
        {"sendrequestparam null text", [&] { return Code(l.sendrequestparam(nullptr, 1, buffer, &length)); }, seven},
        {"sendrequestparam null buffer", [&] { return Code(l.sendrequestparam(ok, 1, nullptr, &length)); }, seven},
        {"sendrequestparam null length", [&] { return Code(l.sendrequestparam(ok, 1, buffer, nullptr)); }, seven},
        {"sendrequestparamw long", [&] { return Code(l.sendrequestparamw(longWide.c_str(), 1, wide, &length)); }, seven},
        {"sendrequestparamw null text", [&] { return Code(l.sendrequestparamw(nullptr, 1, wide, &length)); }, seven},
        {"sendrequestparamw null buffer", [&] { return Code(l.sendrequestparamw(okw, 1, nullptr, &length)); }, seven},
        {"sendrequestparamw null length", [&] { return Code(l.sendrequestparamw(okw, 1, wide, nullptr)); }, seven},
        {"sendresponse long", [&] { return Code(l.sendresponse(longText.c_str(), 1)); }, seven},
        {"sendresponse null", [&] { return Code(l.sendresponse(nullptr, 0)); }, seven},
        {"sendresponsew long", [&] { return Code(l.sendresponsew(longWide.c_str(), 1)); }, seven},
        {"sendresponsew null", [&] { return Code(l.sendresponsew(nullptr, 0)); }, seven},
        {"getrequestmessage null buffer", [&] { return Code(l.getrequestmessage(nullptr, &length)); }, seven},
        {"getrequestmessage null length", [&] { return Code(l.getrequestmessage(buffer, nullptr)); }, seven},
        {"getrequestmessagew null buffer", [&] { return Code(l.getrequestmessagew(nullptr, &length)); }, seven},
        {"getrequestmessagew null length", [&] { return Code(l.getrequestmessagew(wide, nullptr)); }, seven},
        {"getjobid null buffer", [&] { return Code(l.getjobid(nullptr, &length)); }, seven},
        {"getjobid null length", [&] { return Code(l.getjobid(buffer, nullptr)); }, seven},
        {"getjobidw null buffer", [&] { return Code(l.getjobidw(nullptr, &length)); }, seven},
        {"getjobidw null length", [&] { return Code(l.getjobidw(wide, nullptr)); }, seven},
        {"geterrorstring null buffer", [&] { return Code(l.geterrorstring(1, nullptr, &length)); }, seven},
        {"geterrorstring null length", [&] { return Code(l.geterrorstring(1, buffer, nullptr)); }, seven},
        {"geterrorstringw null buffer", [&] { return Code(l.geterrorstringw(1, nullptr, &length)); }, seven},
        {"geterrorstringw null length", [&] { return Code(l.geterrorstringw(1, wide, nullptr)); }, seven},
        {"login first long", [&] { return Code(l.login(login24.c_str(), ok)); }, seven},
        {"login second long", [&] { return Code(l.login(ok, login24.c_str())); }, seven},
        {"login first null", [&] { return Code(l.login(nullptr, ok)); }, seven},
        {"login second null", [&] { return Code(l.login(ok, nullptr)); }, seven},
        {"loginw first long", [&] { return Code(l.loginw(0, login24w.c_str(), okw)); }, seven},
        {"loginw second long", [&] { return Code(l.loginw(0, okw, login24w.c_str())); }, seven},
        {"loginw first null", [&] { return Code(l.loginw(0, nullptr, okw)); }, seven},
        {"loginw second null", [&] { return Code(l.loginw(0, okw, nullptr)); }, seven},
        {"setbridgeid long", [&] { return Code(l.setbridgeid(longText.c_str())); }, "0"},
        {"setbridgeid null", [&] { return Code(l.setbridgeid(nullptr)); }, "0"},
        // A refused text is refused before the open session is noticed.
        {"init long", [&] { return Code(l.init(1, "sixteen units...", 1, nullptr)); }, seven},
        {"init null", [&] { return Code(l.init(1, nullptr, 1, nullptr)); }, seven},
        {"initw long", [&] { return Code(l.initw(1, L"sixteen units...", 1, nullptr)); }, seven},
        {"initw null", [&] { return Code(l.initw(1, nullptr, 1, nullptr)); }, seven},
    };

    const std::size_t before = Records().size();
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        length = 64;
        EXPECT_EQ(refusal.call(), refusal.expected);
        EXPECT_EQ(length, 64u) << "bufferLength changed";
        EXPECT_TRUE(AllSentinel(std::vector<char>(std::begin(buffer), std::end(buffer)), 0)) << "buffer written";
        EXPECT_TRUE(AllSentinel(std::vector<wchar_t>(std::begin(wide), std::end(wide)), 0)) << "buffer written";
        EXPECT_EQ(Records().size(), before) << "a refused call reached the peer";
    }
    // The session is still the narrow one it was.
    EXPECT_EQ(Lib().iswcalive(), kOk);
}

// Refused before the session is looked at, and without touching the
// registry: a refused init changes nothing at all.
TEST_F(RefusalExports, RefusedInitWithoutSessionChangesNothing) {
    const PrivateCurrentUser registry;
    ASSERT_TRUE(registry.Active()) << "cannot redirect HKEY_CURRENT_USER for this test";
    ASSERT_NO_FATAL_FAILURE(StartPeer());

    EXPECT_EQ(Lib().init(1, "sixteen units...", 1, nullptr), kDoesNotFit);
    EXPECT_EQ(Lib().initw(1, L"sixteen units...", 1, nullptr), kDoesNotFit);
    EXPECT_EQ(Lib().init(1, nullptr, 0, &RecordNarrowCallback), kDoesNotFit);
    EXPECT_EQ(Lib().initw(1, nullptr, 0, &RecordWideCallback), kDoesNotFit);
    EXPECT_EQ(registry.BridgePath(), std::nullopt) << "a refused init wrote the registry";
    EXPECT_EQ(Lib().iswcalive(), kNotOpen);
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_TRUE(Records().empty()) << "sent something, or started a worker that polls";

    // Without a session, the refusal still reads 7, not 8.
    std::string longText(kPayloadUnits, 'p');
    EXPECT_EQ(std::string(Lib().sendrequest(longText.c_str(), 0)), ErrorText(kDoesNotFit));
    EXPECT_EQ(Lib().sendresponse(nullptr, 0), kDoesNotFit);
    EXPECT_TRUE(Records().empty());

    EXPECT_EQ(Lib().init(1, "fifteen units..", 1, nullptr), kOk);
    EXPECT_TRUE(registry.BridgePath().has_value());
}

// The largest texts that fit are sent whole and come back whole.
TEST_F(RefusalExports, TextsAtTheLimitAreSentWhole) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    ASSERT_NO_FATAL_FAILURE(OpenSession<NarrowApi>());

    std::string narrow(kPayloadLimit, 'n');
    narrow.front() = 'A';
    narrow.back() = 'Z';
    std::wstring wide(kPayloadLimit, L'\u00FC');
    wide.back() = L'\u20AC';

    std::size_t before = Records().size();
    EXPECT_EQ(std::string(Lib().sendrequest(narrow.c_str(), 0)), narrow);
    EXPECT_EQ(std::wstring(Lib().sendrequestw(wide.c_str(), 0)), wide);
    EXPECT_EQ(Lib().sendresponse(narrow.c_str(), 0), kOk);
    EXPECT_EQ(Lib().sendresponsew(wide.c_str(), 0), kOk);
    EXPECT_EQ(Lib().setbridgeid(narrow.c_str()), 1);
    auto records = RecordsAfter(before);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_TRUE(IsRequest(records[0], code::kSendRequest, *Expected<MessageEnvelope>(narrow, 0)));
    EXPECT_TRUE(IsRequest(records[1], code::kSendRequestW, *Expected<MessageEnvelopeW>(wide, 0)));
    EXPECT_TRUE(IsRequest(records[2], code::kSendResponse, *Expected<MessageEnvelope>(narrow, 100000)));
    EXPECT_TRUE(IsRequest(records[3], code::kSendResponseW, *Expected<MessageEnvelopeW>(wide, 100000)));
    EXPECT_TRUE(IsRequest(records[4], code::kSetBridgeId, *Expected<MessageEnvelope>(narrow)));

    std::vector<char> buffer(kPayloadUnits);
    unsigned int length = kPayloadUnits;
    EXPECT_EQ(Lib().sendrequestparam(narrow.c_str(), 0, buffer.data(), &length), kOk);
    EXPECT_EQ(std::string(buffer.data()), narrow);
    EXPECT_EQ(length, kPayloadUnits);

    const std::string login23(23, 'l');
    const std::wstring login23w(23, L'\u00FC');
    before = Records().size();
    EXPECT_EQ(Lib().login(login23.c_str(), login23.c_str()), kOk);
    EXPECT_EQ(Lib().loginw(0, login23w.c_str(), login23w.c_str()), kOk);
    records = RecordsAfter(before);
    ASSERT_EQ(records.size(), 2u);
    auto expectedLogin = MakeBlankEnvelope<MessageEnvelope>();
    CopyToField(expectedLogin->loginText1, login23);
    CopyToField(expectedLogin->loginText2, login23);
    EXPECT_TRUE(IsRequest(records[0], code::kLogin, *expectedLogin));
    auto expectedLoginW = MakeBlankEnvelope<MessageEnvelopeW>();
    CopyToField(expectedLoginW->loginText1, login23w);
    CopyToField(expectedLoginW->loginText2, login23w);
    EXPECT_TRUE(IsRequest(records[1], code::kLoginW, *expectedLoginW));
}

}  // namespace
}  // namespace vtx::test
