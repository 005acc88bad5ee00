#include "command_parser.h"

#include <cstdint>
#include <stdexcept>

#include "common/script_text.h"
#include "common/text_conversion.h"
#include "quote.h"

namespace vtx::cli {
namespace {

// Thrown inside this file only; the entry points turn it into an error text.
struct SyntaxError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the escape after a backslash at line[i - 1]; advances i.
char Unescape(std::string_view line, std::size_t& i) {
    if (i == line.size()) throw SyntaxError("a backslash ends the line");
    const char c = line[i++];
    if (const std::optional<char> plain = common::SimpleEscape(c)) return *plain;
    if (c != 'x') throw SyntaxError(std::string("unknown escape \\") + c + " (use \\\" \\\\ \\n \\r \\t \\xNN)");
    const int high = i < line.size() ? HexDigit(line[i]) : -1;
    const int low = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
    if (high < 0 || low < 0) throw SyntaxError("\\x needs two hex digits");
    // The exports take terminated texts: a NUL would silently cut one.
    if (high == 0 && low == 0) throw SyntaxError("\\x00 cannot be sent (texts end at a NUL)");
    i += 2;
    return static_cast<char>(high * 16 + low);
}

std::vector<std::string> Tokenize(std::string_view line) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') break;
        std::string token;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                token += c == '\\' ? Unescape(line, i) : c;
            }
            if (!closed) throw SyntaxError("a quoted text is not closed");
            if (i < line.size() && !IsBlank(line[i])) throw SyntaxError("a closing quote must end the argument");
        } else {
            while (i < line.size() && !IsBlank(line[i])) {
                if (line[i] == '"') throw SyntaxError("a quote inside a bare word (quote the whole text)");
                token += line[i++];
            }
        }
        if (token.size() > kMaxTextBytes) throw SyntaxError("an argument is longer than 1000000 bytes");
        tokens.push_back(std::move(token));
    }
    return tokens;
}

// Digits with an optional minus sign; nullopt for anything else or for a
// value beyond any 32-bit argument, so overflow cannot happen below.
std::optional<std::int64_t> ParseInteger(const std::string& text) {
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.size() - i > 10) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return text[0] == '-' ? -value : value;
}

std::int64_t ParseNumber(ArgKind kind, const std::string& text, const std::string& what) {
    std::int64_t low = INT32_MIN;
    std::int64_t high = INT32_MAX;
    std::string expected = "a whole number from -2147483648 to 2147483647";
    switch (kind) {
        case ArgKind::Capacity:
            low = 0;
            high = kMaxCapacity;
            expected = "a capacity from 0 to 1000000 characters";
            break;
        case ArgKind::Milliseconds:
            low = 0;
            high = kMaxMilliseconds;
            expected = "a time from 0 to 3600000 ms";
            break;
        case ArgKind::Count:
            low = 1;
            high = kMaxCount;
            expected = "a count from 1 to 1000000";
            break;
        default: break;
    }
    const std::optional<std::int64_t> value = ParseInteger(text);
    if (!value || *value < low || *value > high) {
        throw SyntaxError(what + " '" + text + "' is not " + expected);
    }
    return *value;
}

HostText ConvertText(TextForm form, const std::string& utf8, const std::string& what) {
    HostText text;
    text.utf8 = utf8;
    const std::optional<std::wstring> wide = common::Utf8ToWide(utf8);
    if (!wide) throw SyntaxError(what + " is not valid UTF-8");
    if (form == TextForm::Wide) {
        text.wide = *wide;
    } else {
        std::optional<std::string> ansi = common::WideToAnsiExact(*wide);
        if (!ansi) {
            throw SyntaxError(what + " has characters the ANSI code page lacks (use the w form of the command)");
        }
        text.ansi = std::move(*ansi);
    }
    return text;
}

Command BuildCommand(const std::vector<std::string>& tokens) {
    const VerbInfo* info = FindVerb(tokens[0]);
    if (info == nullptr) throw SyntaxError("unknown command '" + tokens[0] + "' (see vtxcli --help)");

    std::size_t given = tokens.size() - 1;
    Command command;
    command.verb = info->verb;
    if (info->takesCallback && given > info->required && tokens.back() == "callback") {
        command.callback = true;
        --given;
    }
    if (given < info->required || given > info->total) {
        throw SyntaxError(std::string(info->name) + " takes " +
                          (info->total == 0 ? "no arguments" : "the arguments " + Synopsis(*info)) + ", not " +
                          std::to_string(given));
    }

    for (std::size_t i = 0; i < given; ++i) {
        const std::string& token = tokens[i + 1];
        const std::string what = std::string(info->name) + " " + std::string(info->argNames[i]);
        if (!command.shownArguments.empty()) command.shownArguments += ' ';
        if (info->args[i] == ArgKind::Text) {
            command.texts.push_back(ConvertText(info->form, token, what));
            command.shownArguments += Quote(token);
        } else {
            command.numbers.push_back(ParseNumber(info->args[i], token, what));
            command.shownArguments += std::to_string(command.numbers.back());
        }
    }
    // sendrequest[w] without a length sends the text's own length, in the
    // units the export receives; it is shown like a given one, since the
    // byte count of a narrow text depends on the code page.
    if ((info->verb == Verb::SendRequest || info->verb == Verb::SendRequestW) && command.numbers.empty()) {
        command.numbers.push_back(static_cast<std::int64_t>(command.texts[0].Units(info->form)));
        command.shownArguments += " " + std::to_string(command.numbers.back());
    }
    return command;
}

}  // namespace

ParsedLine ParseLine(std::string_view line, const std::string& origin) {
    ParsedLine parsed;
    try {
        const std::vector<std::string> tokens = Tokenize(line);
        if (!tokens.empty()) {
            parsed.command = BuildCommand(tokens);
            parsed.command->origin = origin;
        }
    } catch (const SyntaxError& error) {
        parsed.error = error.what();
    }
    return parsed;
}

ParsedScript ParseScript(std::string_view text, const std::string& source) {
    ParsedScript script;
    common::ForEachLine(text, [&script, &source](std::string_view line, std::size_t lineNumber) {
        const std::string origin = source + ":" + std::to_string(lineNumber);
        ParsedLine parsed = ParseLine(line, origin);
        if (!parsed.error.empty()) {
            script.commands.clear();
            script.error = origin + ": " + parsed.error;
            return false;
        }
        if (parsed.command) script.commands.push_back(std::move(*parsed.command));
        return true;
    });
    return script;
}

std::string CheckSequence(const std::vector<Command>& commands) {
    bool haveResult = false;
    for (const Command& command : commands) {
        if (command.verb == Verb::Expect && !haveResult) {
            return command.origin + ": expect has no earlier command whose result it could check";
        }
        if (command.verb != Verb::Expect && command.verb != Verb::Sleep) haveResult = true;
    }
    return {};
}

}  // namespace vtx::cli
