// Validation and copying of the messages the peer sends to the bridge window.
// Everything here treats the sender's bytes as untrusted: it reads only inside
// the `size` bytes that came with the message and only up to a terminator
// found inside each text field. Portable: no Win32, fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/envelope.h"
#include "transport/filed_answer.h"

namespace vtx {

enum class InboundKind {
    Ignored,              // a code the bridge window does not act on: answered 1
    Malformed,            // a code it acts on, but the data is unusable: answered 0
    NarrowAnswer,         // file `narrowAnswer`
    WideAnswer,           // file `wideAnswer`
    NarrowServerRequest,  // queue `narrowText` (ANSI; converted by the caller)
    WideServerRequest,    // queue `wideText`
};

struct InboundMessage {
    InboundKind kind = InboundKind::Ignored;
    std::unique_ptr<Answer> narrowAnswer;
    std::unique_ptr<AnswerW> wideAnswer;
    std::string narrowText;
    WideString wideText;
    // Why a Malformed message was refused, for the log; static text.
    const char* refusal = nullptr;
};

// Decodes one WM_COPYDATA: `code` is dwData, `data` and `size` are lpData and
// cbData. A message is Malformed when `data` is null, when `size` is smaller
// than the envelope of its form, when a text the library keeps is not
// terminated inside its field, or (2009) when `length` is not between the
// text's length plus 1 and 100000. Answers come back as what is filed of
// them: status, payload, length, errorCode and requestId.
InboundMessage DecodeInbound(std::uint32_t code, const void* data, std::size_t size);

}  // namespace vtx
