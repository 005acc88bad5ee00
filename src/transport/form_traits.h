// One traits type per form, so each narrow/wide twin is written once as a
// template and instantiated twice.
#pragma once

#include <cstdint>
#include <string>

#include "transport/envelope.h"
#include "transport/filed_answer.h"
#include "transport/message_codes.h"

namespace vtx {

struct NarrowForm {
    using Char = char;
    using String = std::string;
    using Envelope = MessageEnvelope;
    using Answer = vtx::Answer;
    static constexpr Form kForm = Form::Narrow;
    // Narrow code of an operation; 1000-series.
    static constexpr std::uint32_t Code(std::uint32_t narrowCode) { return narrowCode; }
};

struct WideForm {
    using Char = WideChar;
    using String = WideString;
    using Envelope = MessageEnvelopeW;
    using Answer = AnswerW;
    static constexpr Form kForm = Form::Wide;
    // The wide twin of a narrow code: 2000-series.
    static constexpr std::uint32_t Code(std::uint32_t narrowCode) { return narrowCode + 1000; }
};

}  // namespace vtx
