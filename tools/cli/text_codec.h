// Conversions between the three encodings vtxcli meets: UTF-8 (its own input
// and output), UTF-16 (the wide exports, the command line) and the ANSI code
// page (the narrow exports).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vtx::cli {

// nullopt when `utf8` is not valid UTF-8.
std::optional<std::wstring> Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// nullopt when the ANSI code page lacks a character of `wide`: sending its
// default character instead would make a diagnosis lie about what was sent.
std::optional<std::string> WideToAnsiExact(std::wstring_view wide);
std::string AnsiToUtf8(std::string_view ansi);

// A text as vtxcli prints it: in double quotes, with \" \\ \n \r \t and \xNN
// for other control characters, so a printed text can be pasted back into a
// command unchanged.
std::string Quote(std::string_view utf8);

}  // namespace vtx::cli
