// Conversions between the three encodings the programs around the library
// meet: UTF-8 (their own input and output), UTF-16 (the wide exports and
// messages, the command line) and the ANSI code page (the narrow ones).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vtx::common {

// nullopt when `utf8` is not valid UTF-8: a text is refused rather than
// passed on mangled.
std::optional<std::wstring> Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
std::string AnsiToUtf8(std::string_view ansi);

// Characters the ANSI code page lacks become its default character, as they
// would for any program writing narrow text.
std::string WideToAnsi(std::wstring_view wide);
// nullopt when the ANSI code page lacks a character of `wide`, best-fit
// look-alikes included: for a diagnosis that must not lie about what it sent.
std::optional<std::string> WideToAnsiExact(std::wstring_view wide);

}  // namespace vtx::common
