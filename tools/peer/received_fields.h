// Reads the fields of a received envelope without trusting its sender: only
// inside the `size` bytes that came with the message, only up to a
// terminator inside each text field. A field the message is too short to
// hold reads as zero or empty, so a truncated request is still answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "transport/envelope.h"
#include "peer/peer_forms.h"

namespace vtx::peer {

template <class FormTraits>
class ReceivedFields {
public:
    using Char = typename FormTraits::Char;
    using String = typename FormTraits::String;
    using Envelope = typename FormTraits::Envelope;

    ReceivedFields(const void* data, std::size_t size)
        : bytes_(static_cast<const unsigned char*>(data)), size_(data == nullptr ? 0 : size) {}

    std::int32_t Status() const { return Int(offsetof(Envelope, status)); }
    std::int32_t Length() const { return Int(offsetof(Envelope, length)); }
    std::int32_t ErrorCode() const { return Int(offsetof(Envelope, errorCode)); }
    std::int32_t InitValue() const { return Int(offsetof(Envelope, initValue)); }
    std::int32_t PollMode() const { return Int(offsetof(Envelope, pollMode)); }

    String Payload() const { return Text(offsetof(Envelope, payload), kPayloadUnits); }
    String RequestId() const { return Text(offsetof(Envelope, requestId), kRequestIdUnits); }
    String LoginText1() const { return Text(offsetof(Envelope, loginText1), kLoginTextUnits); }
    String LoginText2() const { return Text(offsetof(Envelope, loginText2), kLoginTextUnits); }
    String InitText() const { return Text(offsetof(Envelope, initText), kInitTextUnits); }

    // The whole message was there: every field read is the sender's.
    bool IsComplete() const { return size_ >= sizeof(Envelope); }

private:
    std::int32_t Int(std::size_t offset) const {
        std::int32_t value = 0;
        if (offset + sizeof(value) <= size_) std::memcpy(&value, bytes_ + offset, sizeof(value));
        return value;
    }

    // Units up to the first terminator; all units of the field (or as many
    // as arrived) when there is none. Copied unit by unit with memcpy: the
    // data may be unaligned.
    String Text(std::size_t offset, std::size_t units) const {
        String text;
        for (std::size_t i = 0; i < units; ++i) {
            const std::size_t at = offset + i * sizeof(Char);
            if (at + sizeof(Char) > size_) break;
            Char unit;
            std::memcpy(&unit, bytes_ + at, sizeof(Char));
            if (unit == Char{}) break;
            text += unit;
        }
        return text;
    }

    const unsigned char* bytes_;
    std::size_t size_;
};

}  // namespace vtx::peer
