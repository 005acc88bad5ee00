// Sends one WM_COPYDATA, bounded: a hung or dead receiver costs the peer a
// few seconds at most, never its message loop.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace vtx::peer {

inline constexpr UINT kSendTimeoutMs = 3000;

struct OutgoingMessage {
    HWND target = nullptr;
    std::uint32_t code = 0;
    std::vector<unsigned char> bytes;  // cbData = bytes.size()
};

struct SendOutcome {
    bool delivered = false;  // the receiver's window procedure returned in time
    LRESULT result = 0;
    DWORD error = 0;  // GetLastError() when not delivered
};

// `from` travels as wParam: it is where the receiver answers.
SendOutcome SendCopyData(const OutgoingMessage& message, HWND from);

}  // namespace vtx::peer
