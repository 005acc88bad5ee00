#include "transport/decode.h"

#include <cstring>

#include "transport/form_traits.h"

namespace vtx {
namespace {

// Units before the first terminator of a field of `units` units; `units`
// when there is none. Units are read with memcpy: the data comes from
// another process (or a fuzzer) and may be unaligned.
template <class Char>
std::size_t TerminatedLength(const unsigned char* bytes, std::size_t units) {
    for (std::size_t i = 0; i < units; ++i) {
        Char unit;
        std::memcpy(&unit, bytes + i * sizeof(Char), sizeof(Char));
        if (unit == Char{}) return i;
    }
    return units;
}

std::int32_t ReadInt32(const unsigned char* bytes, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

InboundMessage Malformed(const char* refusal) {
    InboundMessage message;
    message.kind = InboundKind::Malformed;
    message.refusal = refusal;
    return message;
}

constexpr const char* kPayloadUnterminated = "the payload is not terminated in its field";

// `inbound` is what the table says the message is: a server request, or the
// request an answer belongs to.
template <class F>
InboundMessage DecodeIn(const Message& inbound, std::uint32_t messageCode, const unsigned char* bytes,
                        std::size_t size) {
    using Char = typename F::Char;
    using Envelope = typename F::Envelope;
    if (size < sizeof(Envelope)) return Malformed("shorter than its envelope");

    InboundMessage message;
    message.form = F::kForm;
    message.code = messageCode;
    message.status = ReadInt32(bytes, offsetof(Envelope, status));
    message.length = ReadInt32(bytes, offsetof(Envelope, length));
    message.payload.bytes = bytes + offsetof(Envelope, payload);
    message.payload.length = TerminatedLength<Char>(message.payload.bytes, kPayloadUnits);
    const bool payloadTerminated = message.payload.length < kPayloadUnits;

    if (inbound.direction == Direction::FromPeer) {
        if (!payloadTerminated) return Malformed(kPayloadUnterminated);
        // A length, where the form has one, must cover the text and its
        // terminator and stay within the field.
        if (F::kServerRequestHasLength &&
            (message.length <= 0 || static_cast<std::size_t>(message.length) < message.payload.length + 1 ||
             static_cast<std::size_t>(message.length) > kPayloadUnits)) {
            return Malformed("its length does not fit its text");
        }
        message.kind = InboundKind::ServerRequest;
        return message;
    }

    // An answer whose payload or request ID runs off its field has no usable
    // text and no usable key, so it is refused rather than shortened.
    if (!payloadTerminated) return Malformed(kPayloadUnterminated);
    message.requestId.bytes = bytes + offsetof(Envelope, requestId);
    message.requestId.length = TerminatedLength<Char>(message.requestId.bytes, kRequestIdUnits);
    if (message.requestId.length >= kRequestIdUnits) return Malformed("the request ID is not terminated in its field");
    message.kind = InboundKind::Answer;
    return message;
}

}  // namespace

InboundMessage DecodeInbound(std::uint32_t messageCode, const void* data, std::size_t size) noexcept {
    // A server request, or the answer to a request whose sender waits.
    const Message* const inbound = InboundOf(messageCode);
    if (inbound == nullptr) return InboundMessage{};
    if (data == nullptr) return Malformed("no data");
    const auto* bytes = static_cast<const unsigned char*>(data);
    return WithForm(inbound->form, [&](auto form) { return DecodeIn<decltype(form)>(*inbound, messageCode, bytes, size); });
}

template <class Char>
Owned<FiledAnswer<Char>> CopyAnswer(const InboundMessage& answer) noexcept {
    auto filed = MakeOwned<FiledAnswer<Char>>();
    if (!filed || !filed->payload.AssignBytes(answer.payload.bytes, answer.payload.length)) return nullptr;
    filed->status = answer.status;
    filed->requestId.length = answer.requestId.length;
    std::memcpy(filed->requestId.units, answer.requestId.bytes, answer.requestId.length * sizeof(Char));
    return filed;
}

template Owned<FiledAnswer<char>> CopyAnswer<char>(const InboundMessage&) noexcept;
template Owned<FiledAnswer<WideChar>> CopyAnswer<WideChar>(const InboundMessage&) noexcept;

}  // namespace vtx
