// Who a process is, as far as trust between the host and the peer goes: its
// Windows session, its user and its integrity level, read from its token.
#pragma once

#include <windows.h>

namespace vtx {

// Why a window of the peer's class is or is not taken for the peer.
enum class PeerVerdict {
    Qualifies,             // this session, this user, at least Medium integrity
    OtherSession,          // a process of another Windows session
    OtherUser,             // a process of another user
    BelowMediumIntegrity,  // a sandboxed (Low or Untrusted) process
    Unreadable,            // it cannot be opened (refused, or it has ended)
    // It can be opened, but its token is refused: an elevated process seen
    // from an unelevated host looks like this, and so does a sandboxed one
    // that has locked its own token. The two cannot be told apart, so
    // neither is taken.
    TokenRefused,
};

// For the log: "it runs in another Windows session", ...
const char* PeerVerdictReason(PeerVerdict verdict) noexcept;

// Compares the process `processId` with this one: the same session and user,
// and an integrity level of at least Medium.
PeerVerdict JudgeProcess(DWORD processId) noexcept;

// Whether this process runs above Medium integrity (elevated).
bool HostRunsAboveMediumIntegrity() noexcept;

}  // namespace vtx
