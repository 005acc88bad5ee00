// Runtime control of a running peer from any process: a WM_COPYDATA to the
// peer's window with dwData = kControlCode and UTF-8 command text in lpData
// (one or more lines, bounded by cbData, no terminator needed). The peer
// returns 1 once every command ran, 0 when one failed to parse or run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace vtx::peer {

// Outside the narrow (1000) and wide (2000) series, so no request of the
// library can be taken for a command.
inline constexpr std::uint32_t kControlCode = 0x7650;

// Long enough for commands that send to a slow bridge window themselves.
inline constexpr UINT kControlTimeoutMs = 10000;

enum class ControlResult { Ran, Refused, NoAnswer };

// Sends `commands` to the peer window `peer`: Refused when the peer answered
// 0, NoAnswer when it is hung or did not answer in time.
inline ControlResult SendControl(HWND peer, const std::string& commands) {
    COPYDATASTRUCT data{};
    data.dwData = kControlCode;
    data.cbData = static_cast<DWORD>(commands.size());
    // WM_COPYDATA never writes through lpData; the cast only meets the type.
    data.lpData = const_cast<char*>(commands.data());
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(peer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            kControlTimeoutMs, &result) == 0) {
        return ControlResult::NoAnswer;
    }
    return result == 1 ? ControlResult::Ran : ControlResult::Refused;
}

// Sends `commands` to the peer window `peer`; true when they all ran.
inline bool SendCommand(HWND peer, const std::string& commands) {
    return SendControl(peer, commands) == ControlResult::Ran;
}

}  // namespace vtx::peer
