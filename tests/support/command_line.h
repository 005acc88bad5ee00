// Builds a Windows command line that CommandLineToArgvW (and the C runtime)
// splits back into exactly the given arguments.
#pragma once

#include <string>
#include <vector>

namespace vtx::test {

inline std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes double only before a quote, which itself is escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

inline std::wstring CommandLineOf(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    std::wstring commandLine = QuoteArgument(program);
    for (const auto& argument : arguments) commandLine += L" " + QuoteArgument(argument);
    return commandLine;
}

}  // namespace vtx::test
