#include "transport/decode.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "transport/message_codes.h"

namespace vtx {
namespace {

// A received message as raw bytes, so tests can cut it short or leave fields
// unterminated exactly as a faulty peer would.
class RawMessage {
public:
    explicit RawMessage(Form form) : bytes_(EnvelopeSize(form), 0) {
        SetInt(form == Form::Wide ? offsetof(MessageEnvelopeW, pollMode) : offsetof(MessageEnvelope, pollMode), -1);
    }
    void SetInt(std::size_t offset, std::int32_t value) { std::memcpy(&bytes_[offset], &value, sizeof(value)); }
    void Fill(std::size_t offset, std::size_t count, unsigned char value) {
        std::memset(&bytes_[offset], value, count);
    }
    void SetNarrow(std::size_t offset, const std::string& text) {
        std::memcpy(&bytes_[offset], text.data(), text.size());
    }
    void SetWide(std::size_t offset, const std::u16string& text) {
        std::memcpy(&bytes_[offset], text.data(), text.size() * 2);
    }
    InboundMessage Decode(std::uint32_t code) const { return DecodeInbound(code, bytes_.data(), bytes_.size()); }
    InboundMessage DecodeFirst(std::uint32_t code, std::size_t size) const {
        return DecodeInbound(code, bytes_.data(), size);
    }

private:
    std::vector<unsigned char> bytes_;
};

// Portable: these tests also run natively, where WideChar is char16_t.
WideString Wide(const std::u16string& text) { return WideString(text.begin(), text.end()); }

constexpr std::size_t kNarrowPayload = offsetof(MessageEnvelope, payload);
constexpr std::size_t kNarrowRequestId = offsetof(MessageEnvelope, requestId);
constexpr std::size_t kWidePayload = offsetof(MessageEnvelopeW, payload);
constexpr std::size_t kWideRequestId = offsetof(MessageEnvelopeW, requestId);
constexpr std::size_t kWideLength = offsetof(MessageEnvelopeW, length);

TEST(DecodeInbound, DispatchTable) {
    struct Row {
        std::uint32_t code;
        InboundKind kind;
    };
    const Row rows[] = {
        {1001, InboundKind::NarrowAnswer}, {1003, InboundKind::NarrowAnswer}, {1005, InboundKind::NarrowAnswer},
        {1007, InboundKind::NarrowAnswer}, {1011, InboundKind::NarrowAnswer}, {1013, InboundKind::NarrowAnswer},
        {1015, InboundKind::NarrowAnswer}, {1019, InboundKind::NarrowAnswer}, {1021, InboundKind::NarrowAnswer},
        {1023, InboundKind::NarrowAnswer}, {2001, InboundKind::WideAnswer},   {2003, InboundKind::WideAnswer},
        {2005, InboundKind::WideAnswer},   {2007, InboundKind::WideAnswer},   {2011, InboundKind::WideAnswer},
        {2015, InboundKind::WideAnswer},   {2023, InboundKind::WideAnswer},   {1009, InboundKind::NarrowServerRequest},
        {1017, InboundKind::Ignored},      {2013, InboundKind::Ignored},      {2017, InboundKind::Ignored},
        {2019, InboundKind::Ignored},      {2021, InboundKind::Ignored},      {1008, InboundKind::Ignored},
        {2008, InboundKind::Ignored},      {1014, InboundKind::Ignored},      {0, InboundKind::Ignored},
        {999999, InboundKind::Ignored},
    };
    RawMessage narrow(Form::Narrow);
    RawMessage wide(Form::Wide);
    for (const Row& row : rows) {
        const RawMessage& message = FormOfCode(row.code) == Form::Wide ? wide : narrow;
        EXPECT_EQ(message.Decode(row.code).kind, row.kind) << "code " << row.code;
    }
}

TEST(DecodeInbound, MessagesWithoutUsableDataAreRefused) {
    EXPECT_EQ(DecodeInbound(1015, nullptr, 100124).kind, InboundKind::Malformed);
    EXPECT_EQ(DecodeInbound(2009, nullptr, 200228).kind, InboundKind::Malformed);
    // Codes the window does not act on are acknowledged without reading.
    EXPECT_EQ(DecodeInbound(1017, nullptr, 0).kind, InboundKind::Ignored);

    RawMessage narrow(Form::Narrow);
    RawMessage wide(Form::Wide);
    EXPECT_EQ(narrow.DecodeFirst(1015, 100123).kind, InboundKind::Malformed);
    EXPECT_EQ(narrow.DecodeFirst(1009, 4).kind, InboundKind::Malformed);
    EXPECT_EQ(narrow.DecodeFirst(1015, 0).kind, InboundKind::Malformed);
    // A narrow envelope under a wide code is too short for its form.
    EXPECT_EQ(narrow.Decode(2015).kind, InboundKind::Malformed);
    EXPECT_EQ(wide.DecodeFirst(2015, 200227).kind, InboundKind::Malformed);
}

TEST(DecodeInbound, AnswerIsFiledWithItsFiveFields) {
    RawMessage message(Form::Narrow);
    message.SetInt(0, 201);
    message.SetNarrow(kNarrowPayload, "answer text");
    message.SetInt(offsetof(MessageEnvelope, length), 12);
    message.SetInt(offsetof(MessageEnvelope, errorCode), -3);
    message.SetNarrow(kNarrowRequestId, "id-1");
    message.SetNarrow(offsetof(MessageEnvelope, loginText1), "user");
    message.SetInt(offsetof(MessageEnvelope, initValue), 77);
    message.SetNarrow(offsetof(MessageEnvelope, initText), "init");
    message.SetInt(offsetof(MessageEnvelope, pollMode), 5);
    // Garbage after the terminators is not carried over.
    message.Fill(kNarrowPayload + 12, 10, 'g');

    const InboundMessage decoded = message.Decode(1015);
    ASSERT_EQ(decoded.kind, InboundKind::NarrowAnswer);
    const Answer& answer = *decoded.narrowAnswer;
    EXPECT_EQ(answer.status, 201);
    EXPECT_EQ(answer.payload, "answer text") << "the text ends at its terminator";
    EXPECT_EQ(answer.length, 12);
    EXPECT_EQ(answer.errorCode, -3);
    EXPECT_EQ(answer.requestId, "id-1");
}

TEST(DecodeInbound, WideAnswerKeepsItsTexts) {
    RawMessage message(Form::Wide);
    message.SetWide(kWidePayload, u"\uD55C\uAE00 text");
    message.SetWide(kWideRequestId, u"wide-id");
    const InboundMessage decoded = message.Decode(2015);
    ASSERT_EQ(decoded.kind, InboundKind::WideAnswer);
    EXPECT_EQ(decoded.wideAnswer->payload, Wide(u"\uD55C\uAE00 text"));
    EXPECT_EQ(decoded.wideAnswer->requestId, Wide(u"wide-id"));
}

TEST(DecodeInbound, UnterminatedFieldsAreRefused) {
    RawMessage payload(Form::Narrow);
    payload.Fill(kNarrowPayload, kPayloadUnits, 'p');
    EXPECT_EQ(payload.Decode(1015).kind, InboundKind::Malformed);
    EXPECT_EQ(payload.Decode(1009).kind, InboundKind::Malformed);

    RawMessage requestId(Form::Narrow);
    requestId.Fill(kNarrowRequestId, kRequestIdUnits, 'r');
    EXPECT_EQ(requestId.Decode(1015).kind, InboundKind::Malformed);
    // A server request's request ID is not read.
    EXPECT_EQ(requestId.Decode(1009).kind, InboundKind::NarrowServerRequest);

    RawMessage widePayload(Form::Wide);
    widePayload.Fill(kWidePayload, kPayloadUnits * 2, 'p');
    EXPECT_EQ(widePayload.Decode(2015).kind, InboundKind::Malformed);

    // The log says which field ran off (the answer's ID, not its payload).
    EXPECT_STREQ(payload.Decode(1015).refusal, "the payload is not terminated in its field");
    EXPECT_STREQ(requestId.Decode(1015).refusal, "the request ID is not terminated in its field");
    EXPECT_STREQ(widePayload.Decode(2009).refusal, "the payload is not terminated in its field");
    EXPECT_STREQ(DecodeInbound(1015, nullptr, 100124).refusal, "no data");
    EXPECT_STREQ(payload.DecodeFirst(1015, 100123).refusal, "shorter than its envelope");

    // The longest text that fits is accepted: its terminator is the last unit.
    RawMessage longest(Form::Narrow);
    longest.Fill(kNarrowPayload, kPayloadUnits - 1, 'p');
    const InboundMessage decoded = longest.Decode(1015);
    ASSERT_EQ(decoded.kind, InboundKind::NarrowAnswer);
    EXPECT_EQ(decoded.narrowAnswer->payload.size(), kPayloadUnits - 1);
}

TEST(DecodeInbound, NarrowServerRequestTakesThePayloadOnly) {
    RawMessage message(Form::Narrow);
    message.SetNarrow(kNarrowPayload, "please print");
    message.SetInt(offsetof(MessageEnvelope, length), -5);  // not read
    InboundMessage decoded = message.Decode(1009);
    ASSERT_EQ(decoded.kind, InboundKind::NarrowServerRequest);
    EXPECT_EQ(decoded.narrowText, "please print");

    RawMessage empty(Form::Narrow);
    decoded = empty.Decode(1009);
    ASSERT_EQ(decoded.kind, InboundKind::NarrowServerRequest);
    EXPECT_EQ(decoded.narrowText, "");
}

TEST(DecodeInbound, WideServerRequestLengthMustCoverTheText) {
    struct Row {
        std::int32_t length;
        bool accepted;
    };
    // The text "abc" needs at least 4 units including its terminator.
    const Row rows[] = {{4, true}, {5, true}, {100000, true}, {3, false}, {0, false},
                        {-1, false}, {100001, false}, {INT32_MIN, false}, {INT32_MAX, false}};
    for (const Row& row : rows) {
        RawMessage message(Form::Wide);
        message.SetWide(kWidePayload, u"abc");
        message.SetInt(kWideLength, row.length);
        const InboundMessage decoded = message.Decode(2009);
        EXPECT_EQ(decoded.kind, row.accepted ? InboundKind::WideServerRequest : InboundKind::Malformed)
            << "length " << row.length;
        if (row.accepted) {
            EXPECT_EQ(decoded.wideText, Wide(u"abc"));
        }
    }

    RawMessage empty(Form::Wide);
    empty.SetInt(kWideLength, 1);
    const InboundMessage decoded = empty.Decode(2009);
    ASSERT_EQ(decoded.kind, InboundKind::WideServerRequest);
    EXPECT_TRUE(decoded.wideText.empty());

    RawMessage unterminated(Form::Wide);
    unterminated.Fill(kWidePayload, kPayloadUnits * 2, 'x');
    unterminated.SetInt(kWideLength, 100000);
    EXPECT_EQ(unterminated.Decode(2009).kind, InboundKind::Malformed);
}

}  // namespace
}  // namespace vtx
