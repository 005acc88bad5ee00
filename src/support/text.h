// Conversions between the host's ANSI code page and UTF-16, and the JSON error
// text the library hands back when a call cannot be carried out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace vtx {

// Converts a NUL-terminated text in the ANSI code page to UTF-16. nullopt when
// the text is null or the conversion fails; an empty text gives an empty string.
std::optional<std::wstring> AnsiToWide(const char* text) noexcept;

// Converts `length` UTF-16 units to the ANSI code page. Characters the code page
// lacks become its default character. Empty on empty input or failure.
std::string WideToAnsi(const wchar_t* text, std::size_t length) noexcept;

// Replaces `out` with {"eventId":9999, "jobId":"", "code":<code>}. The string
// keeps its storage: callers fill long-lived result strings in place.
void MakeErrorText(int code, std::string& out) noexcept;
void MakeErrorTextW(int code, std::wstring& out) noexcept;

}  // namespace vtx
