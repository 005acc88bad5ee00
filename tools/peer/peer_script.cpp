#include "peer/peer_script.h"

#include <charconv>
#include <limits>
#include <set>
#include <stdexcept>

#include "common/script_text.h"

namespace vtx::peer {

const char kCommandHelp[] =
    "Commands (scripts: one per line, # starts a comment; texts are UTF-8,\n"
    "bare words or \"quoted\" with the escapes \\\" \\\\ \\n \\r \\t):\n"
    "  answer <code>[,<code>...]|* [status=<n>] [payload=<text>]\n"
    "         [inline|late=<ms>|late=<min>-<max>|silent|refuse]\n"
    "         [return=<n>] [repeat=<n>] [id=<text>] [busy=<ms>]\n"
    "      How to answer requests with these codes (* = every code). A later\n"
    "      answer command for a code replaces the earlier one; options it\n"
    "      leaves out come from the * rule, then from the defaults:\n"
    "      status 200, inline, return 1, repeat 1, the request's own ID, and\n"
    "      payload JOB-0001 (1002/2002), the request's payload (1004/2004,\n"
    "      1014/2014), \"error <errorCode>\" (1010/2010), the bridge ID last set\n"
    "      with 1016 (1018), empty otherwise. Polls (1008/2008), 1016 and\n"
    "      unknown codes get no answer unless their own rule says inline or late.\n"
    "        inline     answer from inside the window procedure (default)\n"
    "        late=...   answer that many ms after it returned (a range draws\n"
    "                   a delay per answer, shuffling their order)\n"
    "        silent     accept the request, never answer\n"
    "        refuse     return 0 (not delivered), never answer\n"
    "        return=<n> what the window procedure returns on acceptance\n"
    "        repeat=<n> send the answer n times (1..1000)\n"
    "        id=<text>  answer with this request ID instead of the request's\n"
    "        busy=<ms>  spend that long in the window procedure first (a peer\n"
    "                   that is alive but slow)\n"
    "  serve narrow|wide <text> [length=<n>] [to=<hwnd>]\n"
    "      Send a server request (1009 ANSI / 2009 UTF-16) to the bridge window\n"
    "      that sent the latest message, or to window <hwnd> (decimal or 0x hex).\n"
    "      length defaults to 0 (narrow) and text length + 1 (wide). Fails when\n"
    "      the window answers 0 (the library refused it) or does not answer.\n"
    "  every <ms> serve ...   send that server request every <ms> ms\n"
    "  hang <ms>              stop handling messages for <ms> ms, as a peer that\n"
    "                         hangs; the command returns first\n"
    "  stop-timers            stop every `every` timer\n"
    "  reset                  back to the start: no rules, no timers, no bridge ID\n"
    "  quit                   end the peer\n";

namespace {

// Thrown inside the parser only; ParseCommands turns it into a ParseResult.
struct SyntaxError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One word of a line. `key` holds what preceded the first unquoted '=', so
// `payload="a=b"` is an option while `"a=b"` is a plain text.
struct Token {
    bool hasKey = false;
    std::string key;
    std::string value;
    bool quoted = false;  // some part of the value was quoted
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Unescape(char c) {
    if (const std::optional<char> plain = common::SimpleEscape(c)) return *plain;
    throw SyntaxError(std::string("unknown escape \\") + c + " (use \\\" \\\\ \\n \\r \\t)");
}

std::vector<Token> Tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') break;
        Token token;
        while (i < line.size() && !IsBlank(line[i])) {
            const char c = line[i++];
            if (c == '"') {
                token.quoted = true;
                bool closed = false;
                while (i < line.size()) {
                    const char q = line[i++];
                    if (q == '"') {
                        closed = true;
                        break;
                    }
                    if (q == '\\') {
                        if (i == line.size()) break;
                        token.value += Unescape(line[i++]);
                    } else {
                        token.value += q;
                    }
                }
                if (!closed) throw SyntaxError("unterminated quoted text");
            } else if (c == '=' && !token.hasKey && !token.quoted) {
                token.hasKey = true;
                token.key = std::move(token.value);
                token.value.clear();
            } else {
                token.value += c;
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::string Describe(const Token& token) {
    return "'" + (token.hasKey ? token.key + "=" + token.value : token.value) + "'";
}

// Decimal, or hexadecimal with 0x; the whole text must be the number.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

std::uint32_t ExpectUnsigned(const Token& token, std::string_view what, std::uint64_t min, std::uint64_t max) {
    const auto value = token.quoted ? std::nullopt : ParseUnsigned(token.value, max);
    if (!value || *value < min) {
        throw SyntaxError(std::string(what) + " must be a number from " + std::to_string(min) + " to " +
                          std::to_string(max) + ", not " + Describe(token));
    }
    return static_cast<std::uint32_t>(*value);
}

std::int32_t ExpectSigned(const Token& token, std::string_view what) {
    std::string_view text = token.value;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    std::int64_t value = 0;
    bool valid = !token.quoted && !text.empty() && text[0] >= '0' && text[0] <= '9';
    if (valid) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        valid = error == std::errc{} && end == text.data() + text.size();
    }
    if (negative) value = -value;
    if (!valid || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw SyntaxError(std::string(what) + " must be a 32-bit decimal number, not " + Describe(token));
    }
    return static_cast<std::int32_t>(value);
}

// Rejects a second use of an option within one command.
class OptionSet {
public:
    void Claim(const std::string& name) {
        if (!seen_.insert(name).second) throw SyntaxError(name + " given twice");
    }

private:
    std::set<std::string> seen_;
};

DelayRange ParseDelay(const Token& token) {
    const auto dash = token.value.find('-');
    Token first = token;
    Token second = token;
    if (dash != std::string::npos) {
        first.value = token.value.substr(0, dash);
        second.value = token.value.substr(dash + 1);
    }
    DelayRange delay;
    delay.minMs = ExpectUnsigned(first, "late", 0, kMaxDelayMs);
    delay.maxMs = ExpectUnsigned(second, "late", 0, kMaxDelayMs);
    if (delay.minMs > delay.maxMs) throw SyntaxError("late=<min>-<max> needs min <= max, not " + Describe(token));
    return delay;
}

void SetDelivery(AnswerOptions& options, Delivery delivery) {
    if (options.delivery) {
        throw SyntaxError("choose one of inline, late=..., silent, refuse");
    }
    options.delivery = delivery;
}

AnswerCommand ParseAnswer(const std::vector<Token>& tokens) {
    if (tokens.size() < 2 || tokens[1].hasKey || tokens[1].quoted) {
        throw SyntaxError("answer needs a code, a comma-separated list of codes, or *");
    }
    AnswerCommand command;
    if (tokens[1].value == "*") {
        command.allCodes = true;
    } else {
        std::string_view list = tokens[1].value;
        while (true) {
            const auto comma = list.find(',');
            Token code;
            code.value = std::string(list.substr(0, comma));
            command.codes.push_back(ExpectUnsigned(code, "a code", 0, 0xFFFFFFFFu));
            if (comma == std::string_view::npos) break;
            list.remove_prefix(comma + 1);
        }
    }

    AnswerOptions& options = command.options;
    OptionSet seen;
    for (std::size_t i = 2; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        const std::string name = token.hasKey ? token.key : token.value;
        if (!token.hasKey && !token.quoted && (name == "inline" || name == "silent" || name == "refuse")) {
            SetDelivery(options, name == "inline"   ? Delivery::Inline
                                 : name == "silent" ? Delivery::Silent
                                                    : Delivery::Refuse);
            continue;
        }
        if (!token.hasKey) {
            throw SyntaxError("unexpected " + Describe(token) +
                              " (options: status= payload= inline late= silent refuse return= repeat= id= busy=)");
        }
        seen.Claim(name);
        if (name == "status") {
            options.status = ExpectSigned(token, "status");
        } else if (name == "payload") {
            options.payload = token.value;
        } else if (name == "late") {
            options.delay = ParseDelay(token);
            SetDelivery(options, Delivery::Late);
        } else if (name == "return") {
            options.returnValue = ExpectSigned(token, "return");
        } else if (name == "repeat") {
            options.repeat = ExpectUnsigned(token, "repeat", 1, kMaxRepeat);
        } else if (name == "id") {
            options.requestId = token.value;
        } else if (name == "busy") {
            options.busyMs = ExpectUnsigned(token, "busy", 0, kMaxDelayMs);
        } else {
            throw SyntaxError("unknown option " + Describe(token) +
                              " (options: status= payload= inline late= silent refuse return= repeat= id= busy=)");
        }
    }
    if (options.delivery == Delivery::Refuse && options.returnValue) {
        throw SyntaxError("refuse always returns 0; drop return=");
    }
    return command;
}

// `tokens[first]` is narrow|wide; the rest is the text and its options.
ServeCommand ParseServe(const std::vector<Token>& tokens, std::size_t first) {
    if (tokens.size() <= first || tokens[first].hasKey ||
        (tokens[first].value != "narrow" && tokens[first].value != "wide")) {
        throw SyntaxError("serve needs narrow or wide, then a text");
    }
    ServeCommand command;
    command.form = tokens[first].value == "wide" ? Form::Wide : Form::Narrow;
    if (tokens.size() <= first + 1 || tokens[first + 1].hasKey) {
        throw SyntaxError("serve needs a text (quote it if it holds spaces or '=')");
    }
    command.text = tokens[first + 1].value;

    OptionSet seen;
    for (std::size_t i = first + 2; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (!token.hasKey) {
            throw SyntaxError("unexpected " + Describe(token) + " (quote texts holding spaces)");
        }
        seen.Claim(token.key);
        if (token.key == "length") {
            command.length = ExpectSigned(token, "length");
        } else if (token.key == "to") {
            const auto handle = token.quoted ? std::nullopt : ParseUnsigned(token.value, UINTPTR_MAX);
            if (!handle || *handle == 0) throw SyntaxError("to= needs a window handle, not " + Describe(token));
            command.target = static_cast<std::uintptr_t>(*handle);
        } else {
            throw SyntaxError("unknown option " + Describe(token) + " (options: length= to=)");
        }
    }
    return command;
}

void ExpectNoArguments(const std::vector<Token>& tokens) {
    if (tokens.size() > 1) throw SyntaxError(tokens[0].value + " takes no arguments");
}

Command ParseLine(const std::vector<Token>& tokens) {
    const Token& verb = tokens[0];
    const std::string name = verb.hasKey || verb.quoted ? std::string() : verb.value;
    if (name == "answer") return ParseAnswer(tokens);
    if (name == "serve") return ParseServe(tokens, 1);
    if (name == "every") {
        if (tokens.size() < 3 || tokens[2].hasKey || tokens[2].value != "serve") {
            throw SyntaxError("every needs an interval in ms, then serve ...");
        }
        EveryCommand command;
        command.intervalMs = ExpectUnsigned(tokens[1], "every", 1, kMaxDelayMs);
        command.serve = ParseServe(tokens, 3);
        return command;
    }
    if (name == "hang") {
        if (tokens.size() != 2) throw SyntaxError("hang needs a time in ms");
        return HangCommand{ExpectUnsigned(tokens[1], "hang", 1, kMaxDelayMs)};
    }
    if (name == "stop-timers") {
        ExpectNoArguments(tokens);
        return StopTimersCommand{};
    }
    if (name == "reset") {
        ExpectNoArguments(tokens);
        return ResetCommand{};
    }
    if (name == "quit") {
        ExpectNoArguments(tokens);
        return QuitCommand{};
    }
    throw SyntaxError("unknown command " + Describe(verb) +
                      " (commands: answer serve every hang stop-timers reset quit)");
}

}  // namespace

ParseResult ParseCommands(std::string_view text) {
    ParseResult result;
    common::ForEachLine(text, [&result](std::string_view line, std::size_t lineNumber) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        try {
            const auto tokens = Tokenize(line);
            if (!tokens.empty()) result.commands.push_back(ParseLine(tokens));
        } catch (const SyntaxError& error) {
            result.commands.clear();
            result.error = error.what();
            result.errorLine = lineNumber;
            return false;
        }
        return true;
    });
    return result;
}

}  // namespace vtx::peer
