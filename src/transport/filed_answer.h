// What the library keeps of an answer until the export that asked takes it:
// the fields an export may read, with the texts as long as they are, not the
// whole 100 KB (narrow) or 200 KB (wide) envelope they came in. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "transport/envelope.h"

namespace vtx {

template <class CharT>
struct FiledAnswer {
    using Char = CharT;
    std::int32_t status = 0;
    std::int32_t length = 0;
    std::int32_t errorCode = 0;
    std::basic_string<Char> payload;    // up to its terminator
    std::basic_string<Char> requestId;  // up to its terminator; the table's key
    std::uint32_t code = 0;             // the message code it came with, for the log
};

using Answer = FiledAnswer<char>;
using AnswerW = FiledAnswer<WideChar>;

}  // namespace vtx
