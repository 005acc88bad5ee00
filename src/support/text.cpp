#include "support/text.h"

#include <windows.h>

#include <climits>

namespace vtx {

std::optional<std::wstring> AnsiToWide(const char* text) noexcept {
    if (text == nullptr) return std::nullopt;
    try {
        // The size counts the terminator, so a successful call is never 0.
        const int units = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (units <= 0) return std::nullopt;
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        if (::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], units) == 0) return std::nullopt;
        wide.resize(wide.find(L'\0'));
        return wide;
    } catch (...) {
        return std::nullopt;
    }
}

std::string WideToAnsi(const wchar_t* text, std::size_t length) noexcept {
    // The API takes an int length; a longer text cannot be passed honestly.
    if (text == nullptr || length == 0 || length > static_cast<std::size_t>(INT_MAX)) return {};
    try {
        const int count = static_cast<int>(length);
        const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return {};
        std::string ansi(static_cast<std::size_t>(bytes), '\0');
        if (::WideCharToMultiByte(CP_ACP, 0, text, count, &ansi[0], bytes, nullptr, nullptr) == 0) return {};
        return ansi;
    } catch (...) {
        return {};
    }
}

namespace {

constexpr char kErrorTextStart[] = "{\"eventId\":9999, \"jobId\":\"\", \"code\":";

template <class String>
void BuildErrorText(int code, String& out) noexcept {
    out.clear();
    try {
        // The text is ASCII, so each byte widens to one UTF-16 unit unchanged.
        for (const char c : kErrorTextStart) {
            if (c != '\0') out.push_back(static_cast<typename String::value_type>(c));
        }
        for (const char c : std::to_string(code)) out.push_back(static_cast<typename String::value_type>(c));
        out.push_back(static_cast<typename String::value_type>('}'));
    } catch (...) {
        // Half an error text would be worse than none.
        out.clear();
    }
}

}  // namespace

void MakeErrorText(int code, std::string& out) noexcept { BuildErrorText(code, out); }

void MakeErrorTextW(int code, std::wstring& out) noexcept { BuildErrorText(code, out); }

}  // namespace vtx
