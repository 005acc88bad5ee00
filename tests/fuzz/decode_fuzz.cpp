// Fuzzes the decoder of incoming messages. The input describes one
// WM_COPYDATA as a peer (or anything else on the desktop) could send it: a
// code, a data size, and the envelope's fields, with the rest of the envelope
// filled with one byte value so text fields can run off their ends. The data
// buffer is exactly `size` bytes, so any read past it is reported by ASan.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "transport/decode.h"
#include "transport/message_codes.h"

namespace {

using vtx::InboundKind;

constexpr std::uint32_t kCodes[] = {1001, 1003, 1005, 1007, 1011, 1013, 1015, 1019, 1021, 1023, 2001,
                                    2003, 2005, 2007, 2011, 2015, 2023, 1009, 2009, 1017, 2013, 1008,
                                    2008, 1014, 0,    4242};

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t Byte() { return size > 0 ? (--size, *data++) : 0; }
    std::uint32_t Word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return value;
    }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

// A text a decoded message points at lies inside the received bytes, its
// terminator included, and holds no terminator before its end. Every unit is
// read, so the sanitizer sees any read past the message.
template <class Char>
void CheckText(const vtx::ReceivedText& text, std::size_t capacity, const std::uint8_t* data, std::size_t size) {
    Check(text.length < capacity);
    Check(text.bytes >= data && text.bytes + (text.length + 1) * sizeof(Char) <= data + size);
    for (std::size_t i = 0; i < text.length; ++i) {
        Char unit;
        std::memcpy(&unit, text.bytes + i * sizeof(Char), sizeof(Char));
        Check(unit != Char{});
    }
}

// A filed answer's texts end at their terminators and fit their fields.
template <class Char>
void CheckFiledAnswer(const vtx::InboundMessage& message, std::int32_t status, const std::uint8_t* data,
                      std::size_t size) {
    CheckText<Char>(message.payload, vtx::kPayloadUnits, data, size);
    CheckText<Char>(message.requestId, vtx::kRequestIdUnits, data, size);
    const auto answer = vtx::CopyAnswer<Char>(message);
    Check(answer != nullptr && answer->status == status);
    Check(answer->payload.Length() == message.payload.length && answer->payload.CStr()[answer->payload.Length()] == Char{});
}

template <class Envelope>
std::vector<std::uint8_t> BuildEnvelope(Reader& input, std::uint8_t fill, std::int32_t status, std::int32_t length) {
    using Char = std::remove_extent_t<decltype(Envelope::payload)>;
    std::vector<std::uint8_t> bytes(sizeof(Envelope), fill);
    std::memcpy(&bytes[offsetof(Envelope, status)], &status, 4);
    std::memcpy(&bytes[offsetof(Envelope, length)], &length, 4);
    const std::size_t idBytes = std::min<std::size_t>(input.Byte(), sizeof(Char) * (vtx::kRequestIdUnits + 8));
    for (std::size_t i = 0; i < idBytes && i < sizeof(Char) * vtx::kRequestIdUnits; ++i) {
        bytes[offsetof(Envelope, requestId) + i] = input.Byte();
    }
    const std::size_t payloadBytes = std::min(input.size, sizeof(Char) * vtx::kPayloadUnits);
    std::memcpy(&bytes[offsetof(Envelope, payload)], input.data, payloadBytes);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader input{data, size};
    const std::uint32_t code = kCodes[input.Byte() % (sizeof(kCodes) / sizeof(kCodes[0]))];
    const std::uint8_t flags = input.Byte();
    const std::uint8_t fill = (flags & 2) ? input.Byte() : 0;
    const std::uint32_t sizeAdjust = input.Word() & 0x3FFFF;
    const auto length = static_cast<std::int32_t>(input.Word());
    const auto status = static_cast<std::int32_t>(input.Word());

    std::vector<std::uint8_t> bytes = vtx::FormOfCode(code) == vtx::Form::Wide
                                          ? BuildEnvelope<vtx::MessageEnvelopeW>(input, fill, status, length)
                                          : BuildEnvelope<vtx::MessageEnvelope>(input, fill, status, length);
    // Sizes around the envelope's: exact, longer, shorter, or almost nothing.
    switch ((flags >> 2) & 3) {
        case 1:
            bytes.resize(bytes.size() + (sizeAdjust & 0xFF), fill);
            break;
        case 2:
            bytes.resize(bytes.size() - std::min<std::size_t>(sizeAdjust, bytes.size()));
            break;
        case 3:
            bytes.resize(std::min<std::size_t>(sizeAdjust & 0xFFF, bytes.size()));
            break;
        default:
            break;
    }
    bytes.shrink_to_fit();  // so the sanitizer sees the buffer end exactly

    const void* messageData = (flags & 1) ? nullptr : bytes.data();
    const vtx::InboundMessage message = vtx::DecodeInbound(code, messageData, bytes.size());
    const bool wide = vtx::FormOfCode(code) == vtx::Form::Wide;
    switch (message.kind) {
        case InboundKind::Answer:
            Check(message.form == vtx::FormOfCode(code));
            if (wide) {
                CheckFiledAnswer<vtx::WideChar>(message, status, bytes.data(), bytes.size());
            } else {
                CheckFiledAnswer<char>(message, status, bytes.data(), bytes.size());
            }
            break;
        case InboundKind::ServerRequest:
            if (wide) {
                CheckText<vtx::WideChar>(message.payload, vtx::kPayloadUnits, bytes.data(), bytes.size());
                Check(length > 0 && message.payload.length < static_cast<std::size_t>(length) &&
                      static_cast<std::size_t>(length) <= vtx::kPayloadUnits);
            } else {
                CheckText<char>(message.payload, vtx::kPayloadUnits, bytes.data(), bytes.size());
            }
            break;
        case InboundKind::Ignored:
        case InboundKind::Malformed:
            break;
    }
    return 0;
}
