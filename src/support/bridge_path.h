// Tells the companion application where the host is installed, through a
// per-user registry value it reads at start.
#pragma once

#include <cstddef>
#include <optional>

namespace vtx {

// Publishes the folder of the host's executable (not of this library). Every
// failure is silent: the companion then simply finds no or an older value.
void PublishBridgePath() noexcept;

// Units of the folder part of an executable path of `length` units:
// everything before the last '\' or '/'. Nothing when there is no separator.
[[nodiscard]] std::optional<std::size_t> BridgeFolderLength(const wchar_t* executablePath, std::size_t length) noexcept;

// The registry write behind PublishBridgePath, for a given executable path;
// nothing is written for a path without a folder.
void PublishBridgePathFrom(const wchar_t* executablePath, std::size_t length) noexcept;

}  // namespace vtx
