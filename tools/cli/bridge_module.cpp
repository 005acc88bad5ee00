#include "bridge_module.h"

#include <winver.h>

#include <algorithm>
#include <cstdio>

#include "common/module_path.h"
#include "common/text_conversion.h"
#include "system_error.h"

namespace vtx::cli {

std::wstring BridgeModule::PathToLoad(const std::optional<std::wstring>& path) {
    if (path) return *path;
    const std::wstring nextToUs = common::ExecutableFolder() + L"vtxbridge.dll";
    return GetFileAttributesW(nextToUs.c_str()) != INVALID_FILE_ATTRIBUTES ? nextToUs : L"vtxbridge.dll";
}

std::string FileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<unsigned char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || info == nullptr ||
        infoSize < sizeof(VS_FIXEDFILEINFO)) {
        return {};
    }
    char version[64];
    std::snprintf(version, sizeof(version), "%lu.%lu.%lu.%lu",
                  static_cast<unsigned long>(HIWORD(info->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(info->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(info->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(info->dwFileVersionLS)));
    return version;
}

std::optional<BridgeModule> BridgeModule::Load(const std::optional<std::wstring>& path, std::string* error) {
    const std::wstring file = PathToLoad(path);
    common::LoadedBridge bridge(file);
    if (!bridge.Loaded()) {
        *error = "cannot load " + common::WideToUtf8(file) + ": " + SystemErrorText(bridge.LoadError());
        return std::nullopt;
    }
    return BridgeModule(std::move(bridge));
}

bool BridgeModule::Has(const std::string& exportName) const {
    return std::find(Missing().begin(), Missing().end(), exportName) == Missing().end();
}

std::string BridgeModule::Description() const {
    const std::wstring path = common::ModulePath(bridge_.Module());
    const std::string version = FileVersionOf(path);
    return common::WideToUtf8(path) + (version.empty() ? ", no version resource" : ", file version " + version);
}

}  // namespace vtx::cli
