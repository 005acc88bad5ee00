// The wire format shared with the peer: the two envelope layouts and the
// bounded copies into and out of their text fields.
// Portable: no Win32 here, so the decoder built on it can be fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace vtx {

// A UTF-16 code unit: wchar_t where it is 16 bits (Windows), so the library
// hands wide fields to Win32 without casts; char16_t on native test hosts.
using WideChar = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;

inline constexpr std::size_t kPayloadUnits = 100000;
inline constexpr std::size_t kRequestIdUnits = 40;
inline constexpr std::size_t kLoginTextUnits = 24;
inline constexpr std::size_t kInitTextUnits = 16;

template <class Char>
struct BasicEnvelope {
    std::int32_t status;
    Char payload[kPayloadUnits];
    std::int32_t length;
    std::int32_t errorCode;
    Char requestId[kRequestIdUnits];
    Char loginText1[kLoginTextUnits];
    Char loginText2[kLoginTextUnits];
    std::int32_t initValue;
    Char initText[kInitTextUnits];
    std::int32_t pollMode;
};

// Narrow form: texts in the ANSI code page; 1000-series codes.
using MessageEnvelope = BasicEnvelope<char>;
// Wide form: texts in UTF-16; 2000-series codes.
using MessageEnvelopeW = BasicEnvelope<WideChar>;

// The peer reads these bytes at these offsets: any change breaks the protocol.
static_assert(std::is_standard_layout_v<MessageEnvelope>);
static_assert(std::is_standard_layout_v<MessageEnvelopeW>);
static_assert(sizeof(WideChar) == 2);
static_assert(sizeof(MessageEnvelope) == 100124);
static_assert(offsetof(MessageEnvelope, status) == 0);
static_assert(offsetof(MessageEnvelope, payload) == 4);
static_assert(offsetof(MessageEnvelope, length) == 100004);
static_assert(offsetof(MessageEnvelope, errorCode) == 100008);
static_assert(offsetof(MessageEnvelope, requestId) == 100012);
static_assert(offsetof(MessageEnvelope, loginText1) == 100052);
static_assert(offsetof(MessageEnvelope, loginText2) == 100076);
static_assert(offsetof(MessageEnvelope, initValue) == 100100);
static_assert(offsetof(MessageEnvelope, initText) == 100104);
static_assert(offsetof(MessageEnvelope, pollMode) == 100120);
static_assert(sizeof(MessageEnvelopeW) == 200228);
static_assert(offsetof(MessageEnvelopeW, status) == 0);
static_assert(offsetof(MessageEnvelopeW, payload) == 4);
static_assert(offsetof(MessageEnvelopeW, length) == 200004);
static_assert(offsetof(MessageEnvelopeW, errorCode) == 200008);
static_assert(offsetof(MessageEnvelopeW, requestId) == 200012);
static_assert(offsetof(MessageEnvelopeW, loginText1) == 200092);
static_assert(offsetof(MessageEnvelopeW, loginText2) == 200140);
static_assert(offsetof(MessageEnvelopeW, initValue) == 200188);
static_assert(offsetof(MessageEnvelopeW, initText) == 200192);
static_assert(offsetof(MessageEnvelopeW, pollMode) == 200224);

// Length of a text stored in a fixed field, or `capacity` when no terminator
// lies inside the field (the text is then unusable: it has no end).
template <class Char>
[[nodiscard]] std::size_t BoundedLength(const Char* field, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && field[length] != Char{}) ++length;
    return length;
}

// Copies `length` units of `text` and a terminator into a fixed field.
// Refuses (returns false, field untouched) when the text does not fit, so no
// caller can write past a field.
template <class Char>
[[nodiscard]] bool CopyToBoundedField(Char* field, std::size_t capacity, const Char* text, std::size_t length) {
    if (length >= capacity) return false;
    if (length != 0) std::memcpy(field, text, length * sizeof(Char));
    field[length] = Char{};
    return true;
}

template <class Char, std::size_t N>
[[nodiscard]] bool CopyToField(Char (&field)[N], const Char* text, std::size_t length) {
    return CopyToBoundedField(field, N, text, length);
}

}  // namespace vtx
