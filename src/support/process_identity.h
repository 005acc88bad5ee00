// Who a process is, as far as trust between the host and the peer goes: its
// Windows session, its user and its integrity level, read from its token.
// Compiled once into a library of its own (src/CMakeLists.txt) that both
// vtxbridge.dll and vtxcli link, so the diagnosis judges as the library does.
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
[[nodiscard]] PeerVerdict JudgeProcess(DWORD processId) noexcept;

// What JudgeProcess reads from a token: its Windows session, its user and
// its integrity level.
struct TokenIdentity {
    DWORD session = 0;
    DWORD integrity = 0;  // the mandatory label's RID (SECURITY_MANDATORY_*_RID)
    alignas(void*) BYTE user[SECURITY_MAX_SID_SIZE] = {};
};
// The rule JudgeProcess applies to what it read. The peer's level is held
// against Medium, never against the host's own: an elevated host still
// takes the peer its user started unelevated.
[[nodiscard]] PeerVerdict CompareWithHost(const TokenIdentity& peer, const TokenIdentity& host) noexcept;

// Whether this process runs above Medium integrity (elevated).
[[nodiscard]] bool HostRunsAboveMediumIntegrity() noexcept;

// What JudgeProcess compares, read the same way, for showing it (vtxcli
// diagnose): never used to decide. A SID as text takes at most 185 units.
inline constexpr DWORD kSidTextUnits = 192;
struct ProcessFacts {
    bool read = false;                 // the fields below hold the facts
    bool tokenRefused = false;         // the process opened, its token was refused
    DWORD session = 0;
    DWORD integrity = 0;               // the mandatory label's RID (SECURITY_MANDATORY_*_RID)
    wchar_t user[kSidTextUnits] = {};  // the user's SID, "S-1-5-21-..."
};
[[nodiscard]] ProcessFacts ReadProcessFacts(DWORD processId) noexcept;

// The full path of the process's executable, terminated; false when it
// cannot be read or does not fit `capacity` units.
[[nodiscard]] bool ReadProcessImagePath(DWORD processId, wchar_t* out, DWORD capacity) noexcept;

}  // namespace vtx
