// Envelopes for the programs around the library (the peer, the benchmark,
// the tests), with the standard library at hand.
#pragma once

#include <memory>
#include <string>

#include "transport/envelope.h"

namespace vtx {

// A blank envelope: every byte zero except pollMode = -1. Envelopes are far
// too large for a stack, so they live on the heap, owned.
template <class Envelope>
std::unique_ptr<Envelope> MakeBlankEnvelope() {
    auto envelope = std::make_unique<Envelope>();  // value-initialised: all zero
    envelope->pollMode = -1;
    return envelope;
}

// Copies a text and its terminator into a fixed field; false, the field
// untouched, when it does not fit.
template <class Char, std::size_t N>
bool CopyToField(Char (&field)[N], const std::basic_string<Char>& text) {
    return CopyToField(field, text.data(), text.size());
}

// The text of a field up to its terminator, never past the field's end.
template <class Char, std::size_t N>
std::basic_string<Char> FieldText(const Char (&field)[N]) {
    return std::basic_string<Char>(field, BoundedLength(field, N));
}

}  // namespace vtx
