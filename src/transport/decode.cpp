#include "transport/decode.h"

#include <cstring>

#include "transport/message_codes.h"

namespace vtx {
namespace {

// A text field of the received bytes. Units are read with memcpy: the data
// comes from another process (or a fuzzer) and may be unaligned.
template <class Char>
class ReceivedField {
public:
    ReceivedField(const unsigned char* bytes, std::size_t units)
        : bytes_(bytes), units_(units), length_(units) {
        for (std::size_t i = 0; i < units; ++i) {
            Char unit;
            std::memcpy(&unit, bytes + i * sizeof(Char), sizeof(Char));
            if (unit == Char{}) {
                length_ = i;
                break;
            }
        }
    }

    // Units before the first terminator; the capacity when there is none.
    std::size_t Length() const { return length_; }
    bool IsTerminated() const { return length_ < units_; }

    std::basic_string<Char> Text() const {
        std::basic_string<Char> text(length_, Char{});
        std::memcpy(text.data(), bytes_, length_ * sizeof(Char));
        return text;
    }

private:
    const unsigned char* bytes_;
    std::size_t units_;
    std::size_t length_;
};

std::int32_t ReadInt32(const unsigned char* bytes, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

template <class Envelope>
using CharOf = std::remove_extent_t<decltype(Envelope::payload)>;

template <class Envelope>
ReceivedField<CharOf<Envelope>> PayloadOf(const unsigned char* bytes) {
    return {bytes + offsetof(Envelope, payload), kPayloadUnits};
}

template <class Envelope>
ReceivedField<CharOf<Envelope>> RequestIdOf(const unsigned char* bytes) {
    return {bytes + offsetof(Envelope, requestId), kRequestIdUnits};
}

// What is filed of an answer: the five fields an export may read, the texts
// only as long as they are. An answer whose payload or request ID runs off
// its field has no usable text and no usable key, so it is refused rather
// than shortened.
template <class Envelope>
std::unique_ptr<FiledAnswer<CharOf<Envelope>>> CopyAnswer(const unsigned char* bytes) {
    const auto payload = PayloadOf<Envelope>(bytes);
    const auto requestId = RequestIdOf<Envelope>(bytes);
    if (!payload.IsTerminated() || !requestId.IsTerminated()) return nullptr;

    auto answer = std::make_unique<FiledAnswer<CharOf<Envelope>>>();
    answer->status = ReadInt32(bytes, offsetof(Envelope, status));
    answer->length = ReadInt32(bytes, offsetof(Envelope, length));
    answer->errorCode = ReadInt32(bytes, offsetof(Envelope, errorCode));
    answer->payload = payload.Text();
    answer->requestId = requestId.Text();
    return answer;
}

InboundMessage Malformed(const char* refusal) {
    InboundMessage message;
    message.kind = InboundKind::Malformed;
    message.refusal = refusal;
    return message;
}

// Why CopyAnswer refused an answer.
template <class Envelope>
const char* AnswerRefusal(const unsigned char* bytes) {
    return PayloadOf<Envelope>(bytes).IsTerminated() ? "the request ID is not terminated in its field"
                                                     : "the payload is not terminated in its field";
}

}  // namespace

InboundMessage DecodeInbound(std::uint32_t messageCode, const void* data, std::size_t size) {
    const bool serverRequest = messageCode == code::kServerRequest || messageCode == code::kServerRequestW;
    if (!serverRequest && !IsAcceptedAnswer(messageCode)) return InboundMessage{};

    const Form form = FormOfCode(messageCode);
    if (data == nullptr) return Malformed("no data");
    if (size < EnvelopeSize(form)) return Malformed("shorter than its envelope");
    const auto* bytes = static_cast<const unsigned char*>(data);

    InboundMessage message;
    if (messageCode == code::kServerRequest) {
        const auto payload = PayloadOf<MessageEnvelope>(bytes);
        if (!payload.IsTerminated()) return Malformed("the payload is not terminated in its field");
        message.kind = InboundKind::NarrowServerRequest;
        message.narrowText = payload.Text();
    } else if (messageCode == code::kServerRequestW) {
        // `length` sizes the text's buffer, terminator included: it must cover
        // the text and stay within the payload field.
        const auto payload = PayloadOf<MessageEnvelopeW>(bytes);
        const std::int32_t length = ReadInt32(bytes, offsetof(MessageEnvelopeW, length));
        const std::size_t textLength = payload.Length();
        if (textLength >= kPayloadUnits || length <= 0 ||
            static_cast<std::size_t>(length) < textLength + 1 ||
            static_cast<std::size_t>(length) > kPayloadUnits) {
            return Malformed(textLength >= kPayloadUnits ? "the payload is not terminated in its field"
                                                         : "its length does not fit its text");
        }
        message.kind = InboundKind::WideServerRequest;
        message.wideText = payload.Text();
    } else if (form == Form::Narrow) {
        message.narrowAnswer = CopyAnswer<MessageEnvelope>(bytes);
        if (!message.narrowAnswer) return Malformed(AnswerRefusal<MessageEnvelope>(bytes));
        message.narrowAnswer->code = messageCode;
        message.kind = InboundKind::NarrowAnswer;
    } else {
        message.wideAnswer = CopyAnswer<MessageEnvelopeW>(bytes);
        if (!message.wideAnswer) return Malformed(AnswerRefusal<MessageEnvelopeW>(bytes));
        message.wideAnswer->code = messageCode;
        message.kind = InboundKind::WideAnswer;
    }
    return message;
}

}  // namespace vtx
