// vtxcli's exit codes, one meaning each (docs/vtxcli.md, "Exit codes").
#pragma once

namespace vtx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitExpectFailed = 1;
inline constexpr int kExitUsage = 2;
// The DLL cannot be loaded, or lacks an export that is needed.
inline constexpr int kExitMissingLibrary = 3;
// No window of class VantixConnect (--require-peer, diagnose).
inline constexpr int kExitNoPeer = 4;
// diagnose: windows of the class, none of which the library takes.
inline constexpr int kExitNoQualifyingPeer = 5;
// diagnose --exchange: the round trip did not end with 200.
inline constexpr int kExitExchangeFailed = 6;

}  // namespace vtx::cli
