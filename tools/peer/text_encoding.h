// A command's text made ready for an envelope: the command language's UTF-8
// converted to the narrow form's ANSI code page and the wide form's UTF-16.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "transport/message_codes.h"

namespace vtx::peer {

// A command's text in both forms, converted once when the command runs.
struct EncodedText {
    std::string narrow;  // ANSI code page
    std::wstring wide;   // UTF-16
};

// Encodes `utf8` for a field of `capacity` units (terminator included) of
// each form in `forms`. Returns an error naming `what` when the text is not
// UTF-8 or does not fit, so no oversized text ever reaches an envelope.
// Characters the ANSI code page lacks become its default character, as they
// would for any program writing narrow text.
std::string EncodeForFields(const std::string& utf8, const char* what, std::size_t capacity,
                            const std::vector<Form>& forms, EncodedText* encoded);

}  // namespace vtx::peer
