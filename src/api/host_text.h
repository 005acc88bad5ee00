// Texts crossing the export boundary: host texts checked against their
// fields before they are copied, and texts handed back into caller buffers.
#pragma once

#include <cstddef>
#include <cstring>

#include "transport/envelope.h"
#include "transport/form_traits.h"
#include "vtxbridge.h"

namespace vtx::api {

// The limits hosts read in the header are the fields' capacities.
static_assert(kPayloadUnits == VTX_TEXT_CAPACITY && kPayloadUnits - 1 == VTX_MAX_PAYLOAD_CHARS);
static_assert(kLoginTextUnits - 1 == VTX_MAX_LOGIN_TEXT_CHARS && kInitTextUnits - 1 == VTX_MAX_INIT_TEXT_CHARS);
static_assert(VTX_REQUEST_MESSAGE_CAPACITY == 3 * VTX_MAX_PAYLOAD_CHARS + 1);

// Copies a host text into a fixed field. Refuses a null text and a text that
// does not fit with its terminator. The host's text is read no further than
// the field's capacity, so a long text is refused without being scanned.
template <class Char, std::size_t N>
[[nodiscard]] bool CopyHostText(Char (&field)[N], const Char* text) noexcept {
    if (text == nullptr) return false;
    return CopyToField(field, text, BoundedLength(text, N));
}

// Length of a host text whose limit is `capacity` units with terminator, or
// `capacity` when it is null or too long.
template <class Char>
[[nodiscard]] std::size_t HostTextLength(const Char* text, std::size_t capacity) noexcept {
    return text == nullptr ? capacity : BoundedLength(text, capacity);
}

// The out-buffer convention: the text and its terminator are written only if
// the capacity in *bufferLength exceeds the text's length; *bufferLength then
// becomes length + 1. Returns false (nothing written) otherwise.
template <class Char>
[[nodiscard]] bool CopyToCallerBuffer(const Char* text, std::size_t length, Char* buffer, unsigned int* bufferLength) noexcept {
    if (*bufferLength <= length) return false;
    std::memcpy(buffer, text, length * sizeof(Char));
    buffer[length] = Char{};
    *bufferLength = static_cast<unsigned int>(length + 1);
    return true;
}

// Codes 8 and 14 put the error text into the caller's buffer, when it fits.
template <class F>
int ErrorIntoCallerBuffer(int code, typename F::Char* buffer, unsigned int* bufferLength) noexcept {
    typename F::Char error[VTX_ERROR_TEXT_CAPACITY];
    const std::size_t length = F::ErrorText(code, error, VTX_ERROR_TEXT_CAPACITY);
    // Written only when it fits; the code is the result either way.
    static_cast<void>(CopyToCallerBuffer(error, length, buffer, bufferLength));
    return code;
}

}  // namespace vtx::api
