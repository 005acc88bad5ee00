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

// The form of any code the peer is told of or receives, known or not, by
// its series: the 2000 series and above wide, the rest narrow. The
// library's FormOfCode knows only the codes of its table.
constexpr Form SeriesForm(std::uint32_t messageCode) { return messageCode >= 2000 ? Form::Wide : Form::Narrow; }

// Calls `visit` with the peer's traits of `form`; no default, so a third
// form fails to compile here until the peer handles it.
template <class Visitor>
decltype(auto) WithPeerForm(Form form, Visitor&& visit) {
    switch (form) {
        case Form::Narrow:
            return visit(NarrowForm{});
        case Form::Wide:
            break;
    }
    return visit(WideForm{});
}

}  // namespace vtx::peer
