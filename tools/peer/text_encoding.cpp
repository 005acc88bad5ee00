#include "peer/text_encoding.h"

#include <windows.h>

#include <climits>

namespace vtx::peer {
namespace {

// The conversion functions take int lengths; longer texts exist nowhere in
// this protocol, so they convert to nothing rather than overflow.
bool FitsInt(std::size_t length) { return length <= static_cast<std::size_t>(INT_MAX); }

std::wstring ToWide(UINT codePage, DWORD flags, std::string_view text, bool* valid) {
    *valid = true;
    if (text.empty()) return {};
    if (!FitsInt(text.size())) {
        *valid = false;
        return {};
    }
    const int inputLength = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), inputLength, nullptr, 0);
    if (length <= 0) {
        *valid = false;
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), inputLength, wide.data(), length);
    return wide;
}

std::string FromWide(UINT codePage, std::wstring_view wide) {
    if (wide.empty() || !FitsInt(wide.size())) return {};
    const int inputLength = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), inputLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), inputLength, text.data(), length, nullptr, nullptr);
    return text;
}

}  // namespace

std::optional<std::wstring> Utf8ToWide(std::string_view utf8) {
    bool valid = false;
    std::wstring wide = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, &valid);
    if (!valid) return std::nullopt;
    return wide;
}

std::string WideToAnsi(std::wstring_view wide) { return FromWide(CP_ACP, wide); }

std::string WideToUtf8(std::wstring_view wide) { return FromWide(CP_UTF8, wide); }

std::string AnsiToUtf8(std::string_view ansi) {
    bool valid = false;
    return WideToUtf8(ToWide(CP_ACP, 0, ansi, &valid));
}

std::string EncodeForFields(const std::string& utf8, const char* what, std::size_t capacity,
                            const std::vector<Form>& forms, EncodedText* encoded) {
    const auto wide = Utf8ToWide(utf8);
    if (!wide) return std::string(what) + " is not valid UTF-8";
    encoded->wide = *wide;
    encoded->narrow = WideToAnsi(*wide);
    for (Form form : forms) {
        const std::size_t units = form == Form::Wide ? encoded->wide.size() : encoded->narrow.size();
        if (units >= capacity) {
            return std::string(what) + " has " + std::to_string(units) + (form == Form::Wide ? " UTF-16" : " ANSI") +
                   " units; at most " + std::to_string(capacity - 1) + " fit";
        }
    }
    return {};
}

}  // namespace vtx::peer
