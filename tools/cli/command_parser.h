// Turns command text (a -c argument or a script) into commands. Every
// argument is checked and every text converted here, before anything runs:
// a typo on the last line must not leave a half-run session behind.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"

namespace vtx::cli {

struct ParsedLine {
    std::optional<Command> command;  // empty for a blank or comment line
    std::string error;               // empty when the line parsed
};

// One line: `verb arg...`. Arguments are bare words or "quoted" with the
// escapes \" \\ \n \r \t \xNN; `#` outside quotes starts a comment.
ParsedLine ParseLine(std::string_view line, const std::string& origin);

struct ParsedScript {
    std::vector<Command> commands;
    std::string error;  // "<source>:<line>: <why>"
};

// A script: UTF-8 (a leading byte order mark is skipped), LF or CRLF.
ParsedScript ParseScript(std::string_view text, const std::string& source);

// Checks the order of commands as a whole; empty when it is fine.
std::string CheckSequence(const std::vector<Command>& commands);

}  // namespace vtx::cli
