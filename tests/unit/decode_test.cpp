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
    explicit RawMessage(Form form)
        : bytes_(form == Form::Wide ? sizeof(MessageEnvelopeW) : sizeof(MessageEnvelope), 0) {
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
using WideString = std::basic_string<WideChar>;
WideString Wide(const std::u16string& text) { return WideString(text.begin(), text.end()); }

// The text a decoded message points at.
template <class Char>
std::basic_string<Char> TextOf(const ReceivedText& text) {
    std::basic_string<Char> units(text.length, Char{});
    std::memcpy(units.data(), text.bytes, text.length * sizeof(Char));
    return units;
}

template <class Char>
std::basic_string<Char> KeyText(const FiledAnswer<Char>& answer) {
    return std::basic_string<Char>(answer.requestId.units, answer.requestId.length);
}
template <class Char>
std::basic_string<Char> PayloadText(const FiledAnswer<Char>& answer) {
    return std::basic_string<Char>(answer.payload.CStr(), answer.payload.Length());
}

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
    constexpr InboundKind kAnswer = InboundKind::Answer;
    constexpr InboundKind kIgnored = InboundKind::Ignored;
    const Row rows[] = {
        {1001, kAnswer},  {1003, kAnswer},  {1005, kAnswer},  {1007, kAnswer},  {1011, kAnswer},
        {1013, kAnswer},  {1015, kAnswer},  {1019, kAnswer},  {1021, kAnswer},  {1023, kAnswer},
        {2001, kAnswer},  {2003, kAnswer},  {2005, kAnswer},  {2007, kAnswer},  {2011, kAnswer},
        {2015, kAnswer},  {2023, kAnswer},  {1009, InboundKind::ServerRequest},   {1017, kIgnored},
        {2013, kIgnored}, {2017, kIgnored}, {2019, kIgnored}, {2021, kIgnored}, {1008, kIgnored},
        {2008, kIgnored}, {1014, kIgnored}, {0, kIgnored},    {999999, kIgnored},
    };
    RawMessage narrow(Form::Narrow);
    RawMessage wide(Form::Wide);
    for (const Row& row : rows) {
        const RawMessage& message = FormOfCode(row.code) == Form::Wide ? wide : narrow;
        const InboundMessage decoded = message.Decode(row.code);
        EXPECT_EQ(decoded.kind, row.kind) << "code " << row.code;
        if (row.kind != InboundKind::Ignored) {
            EXPECT_EQ(decoded.form, FormOfCode(row.code)) << "code " << row.code;
        }
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

TEST(DecodeInbound, AnswerIsFiledWithItsStatusPayloadAndRequestId) {
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
    ASSERT_EQ(decoded.kind, InboundKind::Answer);
    const auto answer = CopyAnswer<char>(decoded);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->status, 201);
    EXPECT_EQ(PayloadText(*answer), "answer text") << "the text ends at its terminator";
    EXPECT_EQ(KeyText(*answer), "id-1");
}

TEST(DecodeInbound, WideAnswerKeepsItsTexts) {
    RawMessage message(Form::Wide);
    message.SetWide(kWidePayload, u"\uD55C\uAE00 text");
    message.SetWide(kWideRequestId, u"wide-id");
    const InboundMessage decoded = message.Decode(2015);
    ASSERT_EQ(decoded.kind, InboundKind::Answer);
    const auto answer = CopyAnswer<WideChar>(decoded);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(PayloadText(*answer), Wide(u"\uD55C\uAE00 text"));
    EXPECT_EQ(KeyText(*answer), Wide(u"wide-id"));
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
    EXPECT_EQ(requestId.Decode(1009).kind, InboundKind::ServerRequest);

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
    ASSERT_EQ(decoded.kind, InboundKind::Answer);
    EXPECT_EQ(decoded.payload.length, kPayloadUnits - 1);
}

TEST(DecodeInbound, NarrowServerRequestTakesThePayloadOnly) {
    RawMessage message(Form::Narrow);
    message.SetNarrow(kNarrowPayload, "please print");
    message.SetInt(offsetof(MessageEnvelope, length), -5);  // not read
    InboundMessage decoded = message.Decode(1009);
    ASSERT_EQ(decoded.kind, InboundKind::ServerRequest);
    EXPECT_EQ(TextOf<char>(decoded.payload), "please print");

    RawMessage empty(Form::Narrow);
    decoded = empty.Decode(1009);
    ASSERT_EQ(decoded.kind, InboundKind::ServerRequest);
    EXPECT_EQ(TextOf<char>(decoded.payload), "");
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
        EXPECT_EQ(decoded.kind, row.accepted ? InboundKind::ServerRequest : InboundKind::Malformed)
            << "length " << row.length;
        if (row.accepted) {
            EXPECT_EQ(TextOf<WideChar>(decoded.payload), Wide(u"abc"));
        }
    }

    RawMessage empty(Form::Wide);
    empty.SetInt(kWideLength, 1);
    const InboundMessage decoded = empty.Decode(2009);
    ASSERT_EQ(decoded.kind, InboundKind::ServerRequest);
    EXPECT_EQ(decoded.payload.length, 0u);

    RawMessage unterminated(Form::Wide);
    unterminated.Fill(kWidePayload, kPayloadUnits * 2, 'x');
    unterminated.SetInt(kWideLength, 100000);
    EXPECT_EQ(unterminated.Decode(2009).kind, InboundKind::Malformed);
}

}  // namespace
}  // namespace vtx
