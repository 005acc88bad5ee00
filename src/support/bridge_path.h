// Tells the companion application where the host is installed, through a
// per-user registry value it reads at start.
#pragma once

#include <optional>
#include <string>

namespace vtx {

// Publishes the folder of the host's executable (not of this library). Every
// failure is silent: the companion then simply finds no or an older value.
void PublishBridgePath() noexcept;

// The folder part of an executable path: everything before the last '\' or
// '/'. nullopt when the path is empty or has no separator (or memory ran out).
std::optional<std::wstring> BridgeFolderOf(const std::wstring& executablePath) noexcept;

// The registry write behind PublishBridgePath, for a given executable path.
void PublishBridgePathFrom(const std::wstring& executablePath) noexcept;

}  // namespace vtx
