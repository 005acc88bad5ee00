// The peer's command language: one parser for scripts, -c options, the
// control message and Peer::Execute. Parsing only, no Win32: texts stay UTF-8
// until a command runs and knows which form (ANSI or UTF-16) it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "transport/message_codes.h"

namespace vtx::peer {

// How an answer leaves the peer.
enum class Delivery {
    Inline,  // sent from inside the window procedure handling the request
    Late,    // sent after the window procedure returned, after a delay
    Silent,  // never sent; the request is still accepted
    Refuse,  // never sent; the window procedure returns 0 ("not delivered")
};

// A delay in milliseconds; a range draws a fresh value for every answer, so
// answers to a burst of requests come back shuffled.
struct DelayRange {
    std::uint32_t minMs = 0;
    std::uint32_t maxMs = 0;
};

// The options of one `answer` command. Unset options fall back to the rule
// for `*`, then to the built-in defaults.
struct AnswerOptions {
    std::optional<std::int32_t> status;
    std::optional<std::string> payload;
    std::optional<Delivery> delivery;
    DelayRange delay;  // used with Delivery::Late only
    std::optional<std::int32_t> returnValue;
    std::optional<std::uint32_t> repeat;
    std::optional<std::string> requestId;
    // Time the window procedure spends on the request before it returns:
    // a peer that is alive but slow.
    std::optional<std::uint32_t> busyMs;
};

struct AnswerCommand {
    bool allCodes = false;             // `*`
    std::vector<std::uint32_t> codes;  // the listed codes otherwise
    AnswerOptions options;
};

// A server request (1009 narrow / 2009 wide) sent to a bridge window.
struct ServeCommand {
    Form form = Form::Narrow;
    std::string text;
    std::optional<std::int32_t> length;    // unset: narrow 0, wide text length + 1
    std::optional<std::uintptr_t> target;  // unset: sender of the latest message
};

struct EveryCommand {
    std::uint32_t intervalMs = 0;
    ServeCommand serve;
};

// The peer's window thread stops handling messages for a while, as a peer
// that hangs would; the command itself returns first.
struct HangCommand {
    std::uint32_t ms = 0;
};

struct StopTimersCommand {};
struct ResetCommand {};
struct QuitCommand {};

using Command = std::variant<AnswerCommand, ServeCommand, EveryCommand, HangCommand, StopTimersCommand, ResetCommand,
                             QuitCommand>;

struct ParseResult {
    std::vector<Command> commands;
    std::string error;          // empty when every line parsed
    std::size_t errorLine = 0;  // 1-based line of `error`
    bool Ok() const { return error.empty(); }
};

// Parses one or more lines (LF or CRLF). Blank lines and lines or line ends
// starting with `#` are ignored. Nothing is returned unless every line
// parses, so a script with a typo changes nothing.
ParseResult ParseCommands(std::string_view text);

// Bounds the parser enforces, so a typo cannot start a runaway.
inline constexpr std::uint32_t kMaxRepeat = 1000;
inline constexpr std::uint32_t kMaxDelayMs = 3600000;

// The language as shown by --help.
extern const char kCommandHelp[];

}  // namespace vtx::peer
