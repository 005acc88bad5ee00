#include "support/bridge_path.h"

#include <windows.h>

#include <algorithm>
#include <limits>

#include "support/unique_handle.h"

namespace vtx {

namespace {

constexpr wchar_t kBridgeKey[] = L"Software\\vantix_v40";
constexpr wchar_t kBridgeValue[] = L"bridgepath";
constexpr DWORD kModuleNameUnits = 1024;

}  // namespace

std::optional<std::wstring> BridgeFolderOf(const std::wstring& executablePath) noexcept {
    const std::size_t separator = executablePath.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return std::nullopt;
    try {
        return executablePath.substr(0, separator);
    } catch (...) {
        return std::nullopt;
    }
}

void PublishBridgePathFrom(const std::wstring& executablePath) noexcept {
    try {
        const std::optional<std::wstring> folder = BridgeFolderOf(executablePath);
        if (!folder) return;
        // The value's byte count is a DWORD; a folder that cannot be counted
        // in one is not written at all rather than cut.
        if (folder->size() > std::numeric_limits<DWORD>::max() / sizeof(wchar_t)) return;

        HKEY rawKey = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kBridgeKey, 0, nullptr, 0 /* non-volatile */, KEY_WRITE,
                              nullptr, &rawKey, nullptr) != ERROR_SUCCESS) {
            return;
        }
        const UniqueKey key(rawKey);
        // The companion reads exactly the characters, so the terminator is not
        // counted; a failed write leaves nothing to undo.
        ::RegSetValueExW(key.get(), kBridgeValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder->c_str()),
                         static_cast<DWORD>(folder->size() * sizeof(wchar_t)));
    } catch (...) {
        // Publishing is a courtesy to the companion; never the host's problem.
    }
}

void PublishBridgePath() noexcept {
    try {
        // NULL names the host's executable, which is what the companion needs,
        // not this library's file.
        wchar_t buffer[kModuleNameUnits] = {};
        ::GetModuleFileNameW(nullptr, buffer, kModuleNameUnits);
        // Older systems leave a truncated name unterminated: never read past
        // the buffer looking for the end.
        const wchar_t* end = std::find(buffer, buffer + kModuleNameUnits, L'\0');
        if (end == buffer) return;
        PublishBridgePathFrom(std::wstring(buffer, static_cast<std::size_t>(end - buffer)));
    } catch (...) {
    }
}

}  // namespace vtx
