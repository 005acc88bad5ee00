// vtxpeer.exe: the substitute peer as a program. See --help.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "peer/command_line.h"
#include "peer/peer.h"
#include "peer/peer_control.h"

int wmain(int argc, wchar_t** argv) {
    using namespace vtx::peer;
    const std::vector<std::wstring> arguments(argv + 1, argv + argc);
    const CommandLineResult parsed = ParseCommandLine(arguments);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "vtxpeer: %s (see vtxpeer --help)\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.commandLine.help) {
        std::fputs(kUsage, stdout);
        std::fputs(kCommandHelp, stdout);
        return 0;
    }

    if (parsed.commandLine.sendsControl) {
        const HWND running = FindWindowW(L"VantixConnect", nullptr);
        if (running == nullptr) {
            std::fputs("vtxpeer: no peer window (class VantixConnect) on this desktop\n", stderr);
            return 3;
        }
        switch (SendControl(running, parsed.commandLine.control)) {
            case ControlResult::Ran: return 0;
            case ControlResult::Refused:
                std::fputs("vtxpeer: the running peer refused the commands or one of them failed (see its trace)\n",
                           stderr);
                return 1;
            case ControlResult::NoAnswer: break;
        }
        std::fputs("vtxpeer: the peer window did not answer within 10 seconds\n", stderr);
        return 3;
    }

    PeerOptions options = parsed.commandLine.options;
    options.keepMessages = false;
    Peer peer(options);
    std::string error;
    const int exitCode = peer.Run(parsed.commandLine.startup, &error);
    if (exitCode != 0) std::fprintf(stderr, "vtxpeer: %s\n", error.c_str());
    return exitCode;
}
