// vtxcli's command line: options, and the commands from -c and --script in
// the order given.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "diagnosis.h"

namespace vtx::cli {

struct Options {
    bool help = false;
    std::optional<std::wstring> dll;  // --dll; default: next to vtxcli.exe
    std::vector<Command> commands;    // every command parsed, --callback applied
    bool timeCalls = false;           // --time: each call's duration after its result
    bool requirePeer = false;         // --require-peer: stop instead of meeting the message box
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line is fine
};

ParsedOptions ParseOptions(const std::vector<std::wstring>& arguments);

// `vtxcli diagnose [--json] [--exchange] [--dll <path>]`: the arguments
// after "diagnose".
struct ParsedDiagnoseOptions {
    DiagnoseOptions options;
    bool help = false;
    std::string error;  // empty when the command line is fine
};
ParsedDiagnoseOptions ParseDiagnoseOptions(const std::vector<std::wstring>& arguments);

}  // namespace vtx::cli
