#include "peer/command_line.h"

#include <string>
#include <utility>

#include "common/text_conversion.h"
#include "common/whole_file.h"

namespace vtx::peer {

const char kUsage[] =
    "vtxpeer: a substitute for the companion application. It owns a hidden\n"
    "window of class VantixConnect and answers the bridge library's WM_COPYDATA\n"
    "requests as configured.\n"
    "\n"
    "Usage: vtxpeer [options]\n"
    "  --help               show this text\n"
    "  --script <file>      run the commands in <file> at start (UTF-8, repeatable)\n"
    "  -c <command>         run one command at start (repeatable; scripts and -c\n"
    "                       run in the order given)\n"
    "  --trace <file|->     write a line per message received and sent\n"
    "                       (- = standard output)\n"
    "  --record <dir>       write each received message's bytes (exactly cbData)\n"
    "                       to <dir>\\<sequence>-<code>.bin, e.g. 000001-1014.bin\n"
    "  --exit-after <ms>    end after <ms> milliseconds\n"
    "  --control <commands> start no peer: send <commands> to the peer running on\n"
    "                       this desktop and end (repeatable; sent as one text)\n"
    "\n"
    "At run time, send a WM_COPYDATA with dwData = 0x7650 (30288) and UTF-8\n"
    "command text in lpData to the VantixConnect window; it returns 1 when the\n"
    "commands ran, 0 on an error.\n"
    "\n"
    "Exit codes: 0 after quit, WM_CLOSE or --exit-after; 2 for a bad option or\n"
    "script, a start-up command that fails, or a window, trace file or record\n"
    "folder that cannot be made. With --control: 0 when the running peer ran\n"
    "every command, 1 when it refused or failed one, 2 for a bad option or a\n"
    "command that does not parse, 3 when no peer window answered.\n"
    "\n";

namespace {

// The script's bytes, or nothing with `error` in the peer's words.
bool ReadScript(const std::wstring& path, std::string* contents, std::string* error) {
    common::WholeFile file = common::ReadWholeFile(path, common::kMaxScriptBytes);
    switch (file.failure) {
        case common::WholeFile::Failure::None: *contents = std::move(file.contents); return true;
        case common::WholeFile::Failure::Open: *error = "cannot open (error " + std::to_string(file.error) + ")"; break;
        case common::WholeFile::Failure::Size:
        case common::WholeFile::Failure::TooLarge: *error = "unreadable or larger than 16 MB"; break;
        case common::WholeFile::Failure::Read: *error = "cannot read (error " + std::to_string(file.error) + ")"; break;
    }
    return false;
}

// Adds parsed commands, or describes the error: "file:3: ..." for scripts,
// "-c \"...\": ..." for commands.
bool Append(const ParseResult& parsed, const std::string& source, bool isScript, CommandLine* commandLine,
            std::string* error) {
    if (!parsed.Ok()) {
        const std::string line = std::to_string(parsed.errorLine);
        *error = (isScript ? source + ":" + line : source + (parsed.errorLine > 1 ? ", line " + line : "")) + ": " +
                 parsed.error;
        return false;
    }
    commandLine->startup.insert(commandLine->startup.end(), parsed.commands.begin(), parsed.commands.end());
    return true;
}

bool ParseMilliseconds(const std::wstring& text, std::uint32_t* ms) {
    if (text.empty() || text.size() > 9) return false;
    std::uint32_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    *ms = value;
    return value > 0;
}

}  // namespace

CommandLineResult ParseCommandLine(const std::vector<std::wstring>& arguments) {
    CommandLineResult result;
    CommandLine& commandLine = result.commandLine;
    std::string& error = result.error;
    for (std::size_t i = 0; i < arguments.size() && error.empty(); ++i) {
        const std::wstring& option = arguments[i];
        const std::string optionText = common::WideToUtf8(option);
        if (option == L"--help" || option == L"-h" || option == L"/?") {
            commandLine.help = true;
            continue;
        }
        const bool takesValue = option == L"--script" || option == L"-c" || option == L"--trace" ||
                                option == L"--record" || option == L"--exit-after" || option == L"--control";
        if (!takesValue) {
            error = "unknown option '" + optionText + "'";
            break;
        }
        if (i + 1 == arguments.size()) {
            error = optionText + " needs a value";
            break;
        }
        const std::wstring& value = arguments[++i];
        if (option == L"--script") {
            std::string contents;
            std::string readError;
            if (!ReadScript(value, &contents, &readError)) {
                error = "script " + common::WideToUtf8(value) + ": " + readError;
            } else {
                Append(ParseCommands(contents), common::WideToUtf8(value), true, &commandLine, &error);
            }
        } else if (option == L"-c") {
            const std::string command = common::WideToUtf8(value);
            Append(ParseCommands(command), "-c \"" + command + "\"", false, &commandLine, &error);
        } else if (option == L"--control") {
            // Checked here, so a typo is reported by this program, not as a
            // bare refusal of the running peer.
            const std::string command = common::WideToUtf8(value);
            const ParseResult parsed = ParseCommands(command);
            if (!parsed.Ok()) {
                error = "--control \"" + command + "\": " + parsed.error;
                break;
            }
            if (commandLine.sendsControl) commandLine.control += '\n';
            commandLine.control += command;
            commandLine.sendsControl = true;
        } else if (option == L"--trace") {
            commandLine.options.trace = value;
        } else if (option == L"--record") {
            commandLine.options.recordDirectory = value;
        } else if (!ParseMilliseconds(value, &commandLine.options.exitAfterMs)) {
            error = "--exit-after needs a positive number of milliseconds, not '" + common::WideToUtf8(value) + "'";
        }
    }
    if (error.empty() && commandLine.sendsControl &&
        (!commandLine.startup.empty() || !commandLine.options.trace.empty() ||
         !commandLine.options.recordDirectory.empty() || commandLine.options.exitAfterMs != 0)) {
        error = "--control sends to a running peer and takes no other option";
    }
    return result;
}

}  // namespace vtx::peer
