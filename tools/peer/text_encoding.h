// Conversions between the command language's UTF-8, the narrow form's ANSI
// code page and the wide form's UTF-16.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/message_codes.h"

namespace vtx::peer {

// Nothing when `utf8` is not valid UTF-8: a command's text is refused rather
// than sent mangled.
std::optional<std::wstring> Utf8ToWide(std::string_view utf8);

// Characters the ANSI code page lacks become the code page's default
// character, as they would for any program writing narrow text.
std::string WideToAnsi(std::wstring_view wide);
std::string WideToUtf8(std::wstring_view wide);
std::string AnsiToUtf8(std::string_view ansi);

// A command's text in both forms, converted once when the command runs.
struct EncodedText {
    std::string narrow;  // ANSI code page
    std::wstring wide;   // UTF-16
};

// Encodes `utf8` for a field of `capacity` units (terminator included) of
// each form in `forms`. Returns an error naming `what` when the text is not
// UTF-8 or does not fit, so no oversized text ever reaches an envelope.
std::string EncodeForFields(const std::string& utf8, const char* what, std::size_t capacity,
                            const std::vector<Form>& forms, EncodedText* encoded);

}  // namespace vtx::peer
