// What the command languages of vtxcli and vtxpeer share of a script's text:
// how it splits into lines, and the escapes of a quoted text. The languages
// themselves differ (words, options, error messages) and stay apart.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vtx::common {

// What `c` after a backslash in a quoted text stands for, for the escapes
// both languages accept: \" \\ \n \r \t. nullopt for any other character:
// each language words that error itself, and vtxcli adds \xNN.
constexpr std::optional<char> SimpleEscape(char c) {
    switch (c) {
        case '"': return '"';
        case '\\': return '\\';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return std::nullopt;
    }
}

// Calls `onLine(line, number)` for each line of `text`, numbered from 1 and
// split at LF; a CR before the LF stays with its line. A UTF-8 byte order
// mark at the start, as some editors save one, is skipped. Stops at the
// first line for which `onLine` returns false.
template <class OnLine>
void ForEachLine(std::string_view text, OnLine&& onLine) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!onLine(line, ++number)) return;
    }
}

}  // namespace vtx::common
