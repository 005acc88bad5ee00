// Runs parsed commands in order against the loaded exports, one session
// for the whole run, and prints a line per command.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bridge_module.h"
#include "command.h"

namespace vtx::cli {

struct RunSettings {
    bool timeCalls = false;    // print each call's duration after its result
    bool requirePeer = false;  // stop before a call that would meet no peer window
};

enum class RunEnd {
    Completed,
    ExpectFailed,  // an expect failed; the commands after it were not run
    NoPeer,        // --require-peer found no peer window; nothing more was run
};

class SessionRunner {
public:
    explicit SessionRunner(const Exports& exports, RunSettings settings = {})
        : exports_(exports), settings_(settings) {}

    RunEnd Run(const std::vector<Command>& commands);

private:
    // The command's result code; nullopt for sleep and expect, which have none.
    std::optional<int> Execute(const Command& command);
    bool Check(const Command& expect);

    int Init(const Command& command);
    int SendRequest(const Command& command);
    int SendRequestParam(const Command& command);
    int SendResponse(const Command& command);
    int BufferQuery(const Command& command);
    int Login(const Command& command);
    int SetBridgeId(const Command& command);
    int GetBridgeId(const Command& command);
    int WaitCallback(const Command& command);

    const Exports& exports_;
    RunSettings settings_;
    // The latest command with a result, for expect; the parser made sure
    // there is one before any expect runs.
    std::optional<int> lastResult_;
    std::string lastCommand_;
    std::string lastOutcome_;  // "8 not open"
};

}  // namespace vtx::cli
