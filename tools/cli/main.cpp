// vtxcli.exe: a command-line host for vtxbridge.dll. See --help.
#include <windows.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "bridge_module.h"
#include "command.h"
#include "diagnosis.h"
#include "exit_codes.h"
#include "options.h"
#include "output.h"
#include "session_runner.h"
#include "usage.h"

namespace {

using namespace vtx::cli;

int Fail(int exitCode, const std::string& message) {
    WriteLine(Stream::Error, "vtxcli: " + message);
    return exitCode;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

// The exports the commands call and the DLL lacks; without commands, all
// twenty are asked for, so a bare run checks a build completely.
std::vector<std::string> MissingNeeded(const BridgeModule& bridge, const std::vector<Command>& commands) {
    if (commands.empty()) return bridge.Missing();
    std::vector<std::string> missing;
    for (const Command& command : commands) {
        const std::string name = ExportName(InfoOf(command.verb));
        if (name.empty() || bridge.Has(name)) continue;
        if (std::find(missing.begin(), missing.end(), name) == missing.end()) missing.emplace_back(name);
    }
    return missing;
}

// `vtxcli diagnose`: its exit code is its finding's (docs/vtxcli.md).
int RunDiagnose(const std::vector<std::wstring>& arguments) {
    const ParsedDiagnoseOptions parsed = ParseDiagnoseOptions(arguments);
    if (!parsed.error.empty()) return Fail(kExitUsage, parsed.error + " (see vtxcli diagnose --help)");
    if (parsed.help) {
        WriteText(Stream::Out, kDiagnoseUsage);
        return kExitOk;
    }
    const Diagnosis diagnosis = Diagnose(parsed.options, MakeDiagnoseSeam());
    WriteText(Stream::Out, parsed.options.json ? DiagnosisJson(diagnosis) : DiagnosisText(diagnosis));
    return ExitCodeOf(diagnosis.cause);
}

int Run(const std::vector<std::wstring>& arguments) {
    if (!arguments.empty() && arguments[0] == L"diagnose") {
        return RunDiagnose(std::vector<std::wstring>(arguments.begin() + 1, arguments.end()));
    }
    const ParsedOptions parsed = ParseOptions(arguments);
    if (!parsed.error.empty()) return Fail(kExitUsage, parsed.error + " (see vtxcli --help)");
    const Options& options = parsed.options;
    if (options.help) {
        WriteText(Stream::Out, kUsage);
        return kExitOk;
    }

    std::string loadError;
    const std::optional<BridgeModule> bridge = BridgeModule::Load(options.dll, &loadError);
    if (!bridge) return Fail(kExitMissingLibrary, loadError);
    WriteLine(Stream::Out, "library: " + bridge->Description());
    const std::vector<std::string> missing = MissingNeeded(*bridge, options.commands);
    if (!missing.empty()) return Fail(kExitMissingLibrary, "the DLL lacks the export(s) " + Joined(missing));
    if (options.commands.empty()) {
        WriteLine(Stream::Out, "exports: all twenty found");
        return kExitOk;
    }
    if (!bridge->Missing().empty()) {
        WriteLine(Stream::Error, "vtxcli: note: the DLL lacks " + Joined(bridge->Missing()) + " (not used here)");
    }

    SessionRunner runner(bridge->Functions(), RunSettings{options.timeCalls, options.requirePeer});
    switch (runner.Run(options.commands)) {
        case RunEnd::Completed: return kExitOk;
        case RunEnd::ExpectFailed: return kExitExpectFailed;
        case RunEnd::NoPeer: return kExitNoPeer;
    }
    return kExitExpectFailed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const ConsoleUtf8Guard console;
    try {
        return Run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        // Only memory exhaustion gets here; the exports never throw.
        return Fail(kExitUsage, std::string("stopped: ") + error.what());
    }
}
