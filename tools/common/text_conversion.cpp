#include "common/text_conversion.h"

#include <windows.h>

#include <climits>
#include <cstddef>

namespace vtx::common {
namespace {

// The Win32 conversions take int lengths; texts that long exist nowhere in
// this protocol, so they convert to nothing rather than overflow.
bool FitsInt(std::size_t length) { return length <= static_cast<std::size_t>(INT_MAX); }

// `ok` is false when the text does not convert (with MB_ERR_INVALID_CHARS:
// when it is not valid in `codePage`).
std::wstring MultiByteToWide(UINT codePage, DWORD flags, std::string_view text, bool* ok) {
    *ok = true;
    if (text.empty()) return {};
    *ok = false;
    if (!FitsInt(text.size())) return {};
    const int size = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (::MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), units) != units) return {};
    *ok = true;
    return wide;
}

// `usedDefault` must be null for UTF-8, which has no default character.
std::string WideToMultiByte(UINT codePage, std::wstring_view wide, BOOL* usedDefault) {
    if (wide.empty() || !FitsInt(wide.size())) return {};
    const int size = static_cast<int>(wide.size());
    const int bytes = ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, usedDefault);
    if (bytes <= 0) return {};
    std::string text(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), bytes, nullptr, usedDefault);
    return text;
}

}  // namespace

std::optional<std::wstring> Utf8ToWide(std::string_view utf8) {
    bool ok = false;
    std::wstring wide = MultiByteToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, &ok);
    if (!ok) return std::nullopt;
    return wide;
}

std::string WideToUtf8(std::wstring_view wide) { return WideToMultiByte(CP_UTF8, wide, nullptr); }

std::string AnsiToUtf8(std::string_view ansi) {
    bool ok = false;
    return WideToUtf8(MultiByteToWide(CP_ACP, 0, ansi, &ok));
}

std::string WideToAnsi(std::wstring_view wide) { return WideToMultiByte(CP_ACP, wide, nullptr); }

std::optional<std::string> WideToAnsiExact(std::wstring_view wide) {
    if (wide.empty()) return std::string();
    const UINT codePage = ::GetACP();
    if (codePage == CP_UTF8) return WideToMultiByte(CP_UTF8, wide, nullptr);
    BOOL usedDefault = FALSE;
    std::string ansi = WideToMultiByte(codePage, wide, &usedDefault);
    if (usedDefault || ansi.empty()) return std::nullopt;
    // Best-fit mappings (e.g. a fullwidth letter to its ASCII twin) do not
    // set usedDefault; only a round trip shows them.
    bool ok = false;
    if (MultiByteToWide(codePage, 0, ansi, &ok) != wide || !ok) return std::nullopt;
    return ansi;
}

}  // namespace vtx::common
