#include "options.h"

#include "command_parser.h"
#include "common/text_conversion.h"
#include "script_file.h"

namespace vtx::cli {
namespace {

bool TakesValue(const std::wstring& option) { return option == L"-c" || option == L"--script" || option == L"--dll"; }

// Adds the commands of one -c; the error names the command as given.
std::string AddCommand(const std::string& text, std::vector<Command>* commands) {
    const std::string origin = "-c \"" + text + "\"";
    if (text.find('\n') != std::string::npos) return origin + ": one command per -c (use a script for several)";
    ParsedLine parsed = ParseLine(text, origin);
    if (!parsed.error.empty()) return origin + ": " + parsed.error;
    if (!parsed.command) return origin + ": no command given";
    commands->push_back(std::move(*parsed.command));
    return {};
}

std::string AddScript(const std::wstring& path, std::vector<Command>* commands) {
    const std::string source = common::WideToUtf8(path);
    std::string contents;
    std::string readError;
    if (!ReadScriptFile(path, &contents, &readError)) return "script " + source + ": " + readError;
    ParsedScript script = ParseScript(contents, source);
    if (!script.error.empty()) return script.error;
    for (Command& command : script.commands) commands->push_back(std::move(command));
    return {};
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::wstring>& arguments) {
    ParsedOptions parsed;
    Options& options = parsed.options;
    std::string& error = parsed.error;
    bool callback = false;
    for (std::size_t i = 0; i < arguments.size() && error.empty(); ++i) {
        const std::wstring& option = arguments[i];
        const std::string optionText = common::WideToUtf8(option);
        if (option == L"--help" || option == L"-h" || option == L"/?") {
            options.help = true;
        } else if (option == L"--callback") {
            callback = true;
        } else if (option == L"--time") {
            options.timeCalls = true;
        } else if (option == L"--require-peer") {
            options.requirePeer = true;
        } else if (!TakesValue(option)) {
            error = option.empty() || option[0] != L'-'
                        ? "'" + optionText + "' is not an option; give each command with -c, e.g. -c \"" + optionText +
                              " ...\""
                        : "unknown option '" + optionText + "'";
        } else if (i + 1 == arguments.size()) {
            error = optionText + " needs a value";
        } else if (option == L"--dll") {
            if (options.dll) {
                error = "--dll is given twice";
            } else {
                options.dll = arguments[++i];
            }
        } else if (option == L"--script") {
            error = AddScript(arguments[++i], &options.commands);
        } else {
            error = AddCommand(common::WideToUtf8(arguments[++i]), &options.commands);
        }
    }
    if (error.empty()) error = CheckSequence(options.commands);
    if (callback) {
        for (Command& command : options.commands) {
            if (InfoOf(command.verb).takesCallback) command.callback = true;
        }
    }
    return parsed;
}

ParsedDiagnoseOptions ParseDiagnoseOptions(const std::vector<std::wstring>& arguments) {
    ParsedDiagnoseOptions parsed;
    DiagnoseOptions& options = parsed.options;
    for (std::size_t i = 0; i < arguments.size() && parsed.error.empty(); ++i) {
        const std::wstring& option = arguments[i];
        if (option == L"--help" || option == L"-h" || option == L"/?") {
            parsed.help = true;
        } else if (option == L"--json") {
            options.json = true;
        } else if (option == L"--exchange") {
            options.exchange = true;
        } else if (option != L"--dll") {
            parsed.error = "diagnose: unknown option '" + common::WideToUtf8(option) + "'";
        } else if (i + 1 == arguments.size()) {
            parsed.error = "diagnose: --dll needs a value";
        } else if (options.dll) {
            parsed.error = "diagnose: --dll is given twice";
        } else {
            options.dll = arguments[++i];
        }
    }
    return parsed;
}

}  // namespace vtx::cli
