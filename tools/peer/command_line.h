// vtxpeer.exe's command line: options, scripts and -c commands, all checked
// before the peer starts, so a typo ends the program instead of surprising
// the host later.
#pragma once

#include <string>
#include <vector>

#include "peer/peer.h"
#include "peer/peer_script.h"

namespace vtx::peer {

struct CommandLine {
    bool help = false;
    PeerOptions options;
    std::vector<Command> startup;  // scripts and -c commands, in command-line order
    // --control: command text for a running peer (lines joined); no peer starts.
    std::string control;
    bool sendsControl = false;
};

struct CommandLineResult {
    CommandLine commandLine;
    std::string error;  // empty when the arguments are usable
};

// `arguments` excludes the program name. Script files are read and parsed here.
CommandLineResult ParseCommandLine(const std::vector<std::wstring>& arguments);

extern const char kUsage[];

}  // namespace vtx::peer
