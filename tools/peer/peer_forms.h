// The peer's view of the two forms of a message: its character and string
// types, its envelope and its codes. The peer keeps its own, so that it
// shares only the wire format with the library it stands in front of.
#pragma once

#include <cstdint>
#include <string>

#include "transport/envelope.h"
#include "transport/message_codes.h"

namespace vtx::peer {

template <class FormChar, class FormEnvelope, Form kFormValue, std::uint32_t kBase>
struct PeerForm {
    using Char = FormChar;
    using String = std::basic_string<Char>;
    using Envelope = FormEnvelope;
    static constexpr Form kForm = kFormValue;
    // The code of an operation in this form, from its narrow code.
    static constexpr std::uint32_t Code(std::uint32_t narrowCode) { return narrowCode - 1000 + kBase; }
};

using NarrowForm = PeerForm<char, MessageEnvelope, Form::Narrow, 1000>;
using WideForm = PeerForm<WideChar, MessageEnvelopeW, Form::Wide, 2000>;
using WideString = std::basic_string<WideChar>;

}  // namespace vtx::peer
