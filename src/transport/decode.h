// Validation of the messages the peer sends to the bridge window. Everything
// here treats the sender's bytes as untrusted: it reads only inside the
// `size` bytes that came with the message and only up to a terminator found
// inside each text field. Decoding copies nothing: it tells what a message
// is and where its usable texts lie, and the receiver copies what it keeps.
// Portable: no Win32, fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/heap.h"
#include "transport/filed_answer.h"
#include "transport/message_codes.h"

namespace vtx {

// A text inside a received message: `length` units from `bytes`, followed by
// a terminator inside its field. The bytes may be unaligned.
struct ReceivedText {
    const unsigned char* bytes = nullptr;
    std::size_t length = 0;
};

enum class InboundKind {
    Ignored,        // a code the bridge window does not act on: answered 1
    Malformed,      // a code it acts on, but the data is unusable: answered 0
    Answer,         // an answer to file (CopyAnswer)
    ServerRequest,  // a server request's text to queue
};

struct InboundMessage {
    InboundKind kind = InboundKind::Ignored;
    Form form = Form::Narrow;
    std::uint32_t code = 0;
    std::int32_t status = 0;
    std::int32_t length = 0;  // server requests of the wide form
    ReceivedText payload;    // answers and server requests
    ReceivedText requestId;  // answers
    // Why a Malformed message was refused, for the log; static text.
    const char* refusal = nullptr;
};

// Decodes one WM_COPYDATA: `code` is dwData, `data` and `size` are lpData and
// cbData. A message is Malformed when `data` is null, when `size` is smaller
// than the envelope of its form, when a text the library keeps is not
// terminated inside its field, or (2009) when `length` is not between the
// text's length plus 1 and 100000.
[[nodiscard]] InboundMessage DecodeInbound(std::uint32_t code, const void* data, std::size_t size) noexcept;

// What is filed of a decoded answer of form `Char`: its status, request ID
// and payload. Null when no memory is left.
template <class Char>
[[nodiscard]] Owned<FiledAnswer<Char>> CopyAnswer(const InboundMessage& answer) noexcept;

}  // namespace vtx
