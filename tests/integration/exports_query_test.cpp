// Job and error queries, vtx_getjobid(w) and vtx_geterrorstring(w), and the
// caller-buffer exports without a session or with a peer that refuses.
#include <climits>

#include "exports_fixture.h"

namespace vtx::test {
namespace {

template <class Api>
using QueryForms = ExportsFormTest<Api>;
TYPED_TEST_SUITE(QueryForms, BothForms, FormNames);

using QueryExports = ExportsTest;

TYPED_TEST(QueryForms, GetJobIdSendsABlankRequestAndIgnoresTheAnswersStatus) {
    using Api = TypeParam;
    using Char = typename Api::Char;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());
    const std::uint32_t requestCode = Api::Code(code::kGetJobId);
    const auto call = [&](Char* buffer, unsigned int* length) { return Api::GetJobId(this->Lib(), buffer, length); };

    const std::size_t before = this->Records().size();
    EXPECT_BUFFER_CONVENTION(Char, call, Api::Text(L"JOB-0001"));
    const auto records = this->RecordsAfter(before);
    ASSERT_EQ(records.size(), 4u);
    for (const auto& record : records) {
        EXPECT_TRUE(IsRequest(record, requestCode, *MakeBlankEnvelope<typename Api::Envelope>()));
    }

    for (const int status : {201, 6, 14, 0}) {
        SCOPED_TRACE("peer status " + std::to_string(status));
        ASSERT_TRUE(this->Peer(AnswerRule(requestCode, "status=" + std::to_string(status) +
                                                            " payload=" + PeerWord(L"J\u00FC-" + std::to_wstring(status)))));
        EXPECT_BUFFER_CONVENTION(Char, call, Api::Text(L"J\u00FC-" + std::to_wstring(status)));
    }
}

TYPED_TEST(QueryForms, GetErrorStringPassesTheErrorCodeUnchanged) {
    using Api = TypeParam;
    using Char = typename Api::Char;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());
    const std::uint32_t requestCode = Api::Code(code::kGetErrorString);

    // The library's own codes are asked like any other.
    for (const int errorCode : {0, 8, 14, 200, -1, 123456789, INT_MIN, INT_MAX}) {
        SCOPED_TRACE("error code " + std::to_string(errorCode));
        const std::size_t before = this->Records().size();
        Char buffer[64];
        unsigned int length = 64;
        EXPECT_EQ(Api::GetErrorString(this->Lib(), errorCode, buffer, &length), kOk);
        const auto answer = Api::Text(L"error " + std::to_wstring(errorCode));
        EXPECT_EQ(typename Api::String(buffer), answer);
        EXPECT_EQ(length, answer.size() + 1);

        const auto records = this->RecordsAfter(before);
        ASSERT_EQ(records.size(), 1u);
        auto expected = MakeBlankEnvelope<typename Api::Envelope>();
        expected->errorCode = errorCode;
        EXPECT_TRUE(IsRequest(records[0], requestCode, *expected));
    }

    EXPECT_BUFFER_CONVENTION(Char, ([&](Char* buffer, unsigned int* length) {
                                 return Api::GetErrorString(this->Lib(), 42, buffer, length);
                             }),
                             Api::Text(L"error 42"));
    ASSERT_TRUE(this->Peer(AnswerRule(requestCode, "status=404 payload=\"\"")));
    EXPECT_BUFFER_CONVENTION(Char, ([&](Char* buffer, unsigned int* length) {
                                 return Api::GetErrorString(this->Lib(), 42, buffer, length);
                             }),
                             typename Api::String());
}

// Without a session nothing is sent; the error text goes into the buffer
// when it fits.
TYPED_TEST(QueryForms, CallerBufferExportsWithoutSessionWriteTheErrorTextIfItFits) {
    using Api = TypeParam;
    using Char = typename Api::Char;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    const auto text = Api::Text(L"no session");

    EXPECT_ERROR_INTO_BUFFER(Char, ([&](Char* buffer, unsigned int* length) {
                                 return Api::SendRequestParam(this->Lib(), text.c_str(), 10, buffer, length);
                             }),
                             kNotOpen);
    EXPECT_ERROR_INTO_BUFFER(Char, ([&](Char* buffer, unsigned int* length) {
                                 return Api::GetJobId(this->Lib(), buffer, length);
                             }),
                             kNotOpen);
    EXPECT_ERROR_INTO_BUFFER(Char, ([&](Char* buffer, unsigned int* length) {
                                 return Api::GetErrorString(this->Lib(), 3, buffer, length);
                             }),
                             kNotOpen);
    EXPECT_TRUE(this->Records().empty());
}

TYPED_TEST(QueryForms, CallerBufferExportsRefusedByThePeerLeaveTheBufferAlone) {
    using Api = TypeParam;
    using Char = typename Api::Char;
    ASSERT_NO_FATAL_FAILURE(this->StartPeer());
    ASSERT_NO_FATAL_FAILURE(this->template OpenSession<Api>());
    ASSERT_TRUE(this->Peer("answer " + std::to_string(Api::Code(code::kSendRequestParam)) + "," +
                           std::to_string(Api::Code(code::kGetJobId)) + "," +
                           std::to_string(Api::Code(code::kGetErrorString)) + " refuse"));
    const auto text = Api::Text(L"refused");
    const std::pair<const char*, BufferCall<Char>> calls[] = {
        {"sendrequestparam",
         [&](Char* b, unsigned int* l) { return Api::SendRequestParam(this->Lib(), text.c_str(), 7, b, l); }},
        {"getjobid", [&](Char* b, unsigned int* l) { return Api::GetJobId(this->Lib(), b, l); }},
        {"geterrorstring", [&](Char* b, unsigned int* l) { return Api::GetErrorString(this->Lib(), 1, b, l); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        for (const unsigned int capacity : {0u, 64u}) {
            std::vector<Char> buffer(64, kSentinel<Char>);
            unsigned int length = capacity;
            EXPECT_EQ(call(buffer.data(), &length), kNotDelivered);
            EXPECT_TRUE(AllSentinel(buffer, 0));
            EXPECT_EQ(length, capacity);
        }
    }
}

// Without a session nothing is sent: codes and error texts say 8.
TEST_F(QueryExports, WithoutSessionNothingIsSent) {
    ASSERT_NO_FATAL_FAILURE(StartPeer());
    const std::string notOpen = Lib().sendrequest("x", 1);
    EXPECT_EQ(notOpen, "{\"eventId\":9999, \"jobId\":\"\", \"code\":8}");
    EXPECT_EQ(notOpen.size(), 38u);
    EXPECT_EQ(std::wstring(Lib().sendrequestw(L"x", 1)), L"{\"eventId\":9999, \"jobId\":\"\", \"code\":8}");
    EXPECT_EQ(std::string(Lib().getbridgeid()), notOpen);
    EXPECT_EQ(Lib().sendresponse("x", 1), kNotOpen);
    EXPECT_EQ(Lib().sendresponsew(L"x", 1), kNotOpen);
    EXPECT_EQ(Lib().iswcalive(), kNotOpen);

    char buffer[8];
    wchar_t wide[8];
    std::fill(std::begin(buffer), std::end(buffer), kSentinel<char>);
    std::fill(std::begin(wide), std::end(wide), kSentinel<wchar_t>);
    unsigned int length = 8;
    EXPECT_EQ(Lib().getrequestmessage(buffer, &length), kNotOpen);
    EXPECT_EQ(Lib().getrequestmessagew(wide, &length), kNotOpen);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(buffer[0], kSentinel<char>);
    EXPECT_EQ(wide[0], kSentinel<wchar_t>);
    EXPECT_TRUE(Records().empty());
}

}  // namespace
}  // namespace vtx::test
