#include "support/bridge_path.h"

#include <windows.h>

#include "support/owned_text.h"
#include "support/unique_handle.h"

namespace vtx {

namespace {

constexpr wchar_t kBridgeKey[] = L"Software\\vantix_v40";
constexpr wchar_t kBridgeValue[] = L"bridgepath";
// The longest path Windows knows, terminator included.
constexpr DWORD kLongestPathUnits = 32768;

}  // namespace

std::optional<std::size_t> BridgeFolderLength(const wchar_t* executablePath, std::size_t length) noexcept {
    while (length > 0) {
        --length;
        if (executablePath[length] == L'\\' || executablePath[length] == L'/') return length;
    }
    return std::nullopt;
}

void PublishBridgePathFrom(const wchar_t* executablePath, std::size_t length) noexcept {
    const std::optional<std::size_t> folderLength = BridgeFolderLength(executablePath, length);
    if (!folderLength) return;
    const std::size_t folder = *folderLength;
    // The value's byte count is a DWORD; a folder that cannot be counted
    // in one is not written at all rather than cut.
    if (folder > MAXDWORD / sizeof(wchar_t)) return;

    HKEY rawKey = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kBridgeKey, 0, nullptr, 0 /* non-volatile */, KEY_WRITE, nullptr,
                          &rawKey, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const UniqueKey key(rawKey);
    // The companion reads exactly the characters, so the terminator is not
    // counted; a failed write leaves nothing to undo.
    ::RegSetValueExW(key.get(), kBridgeValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(executablePath),
                     static_cast<DWORD>(folder * sizeof(wchar_t)));
}

void PublishBridgePath() noexcept {
    // NULL names the host's executable, which is what the companion needs,
    // not this library's file. A name longer than the buffer comes back cut
    // (on older systems unterminated), and the folder of a cut name is some
    // other folder: only a whole name is published, in a buffer that grows
    // up to the longest path there is.
    for (DWORD capacity = 1024;; capacity = capacity * 4 < kLongestPathUnits ? capacity * 4 : kLongestPathUnits) {
        OwnedText<wchar_t> buffer;
        if (!buffer.Allocate(capacity)) return;
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.Data(), capacity);
        if (length == 0) return;
        if (length < capacity) {
            PublishBridgePathFrom(buffer.Data(), length);
            return;
        }
        if (capacity == kLongestPathUnits) return;
    }
}

}  // namespace vtx
