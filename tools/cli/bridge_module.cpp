#include "bridge_module.h"

#include <winver.h>

#include <algorithm>
#include <cstdio>

#include "system_error.h"
#include "text_codec.h"

namespace vtx::cli {
namespace {

constexpr DWORD kLongPath = 32768;

std::wstring ModulePath(HMODULE module) {
    std::wstring path(kLongPath, L'\0');
    const DWORD length = GetModuleFileNameW(module, path.data(), kLongPath);
    path.resize(length < kLongPath ? length : 0);
    return path;
}

std::wstring DefaultPath() {
    std::wstring path = ModulePath(nullptr);
    path.erase(path.find_last_of(L"\\/") + 1);
    path += L"vtxbridge.dll";
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? path : L"vtxbridge.dll";
}

std::string FileVersion(const std::wstring& path) {
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

template <class Function>
void Resolve(HMODULE module, Function& target, const char* name, std::vector<std::string>& missing) {
    // Through void*: GCC warns on a direct cast between function pointer types.
    target = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (target == nullptr) missing.emplace_back(name);
}

}  // namespace

std::optional<BridgeModule> BridgeModule::Load(const std::optional<std::wstring>& path, std::string* error) {
    const std::wstring file = path ? *path : DefaultPath();
    BridgeModule bridge;
    bridge.module_.reset(LoadLibraryW(file.c_str()));
    if (!bridge.module_) {
        const DWORD loadError = GetLastError();  // before any other call can change it
        *error = "cannot load " + WideToUtf8(file) + ": " + SystemErrorText(loadError);
        return std::nullopt;
    }
    const HMODULE module = bridge.module_.get();
    Exports& e = bridge.exports_;
    std::vector<std::string>& missing = bridge.missing_;
    Resolve(module, e.init, "vtx_init", missing);
    Resolve(module, e.initw, "vtx_initw", missing);
    Resolve(module, e.deinit, "vtx_deinit", missing);
    Resolve(module, e.sendrequest, "vtx_sendrequest", missing);
    Resolve(module, e.sendrequestw, "vtx_sendrequestw", missing);
    Resolve(module, e.sendrequestparam, "vtx_sendrequestparam", missing);
    Resolve(module, e.sendrequestparamw, "vtx_sendrequestparamw", missing);
    Resolve(module, e.sendresponse, "vtx_sendresponse", missing);
    Resolve(module, e.sendresponsew, "vtx_sendresponsew", missing);
    Resolve(module, e.getrequestmessage, "vtx_getrequestmessage", missing);
    Resolve(module, e.getrequestmessagew, "vtx_getrequestmessagew", missing);
    Resolve(module, e.getjobid, "vtx_getjobid", missing);
    Resolve(module, e.getjobidw, "vtx_getjobidw", missing);
    Resolve(module, e.geterrorstring, "vtx_geterrorstring", missing);
    Resolve(module, e.geterrorstringw, "vtx_geterrorstringw", missing);
    Resolve(module, e.login, "vtx_login", missing);
    Resolve(module, e.loginw, "vtx_loginw", missing);
    Resolve(module, e.iswcalive, "vtx_iswcalive", missing);
    Resolve(module, e.setbridgeid, "vtx_setbridgeid", missing);
    Resolve(module, e.getbridgeid, "vtx_getbridgeid", missing);
    return bridge;
}

bool BridgeModule::Has(const std::string& exportName) const {
    return std::find(missing_.begin(), missing_.end(), exportName) == missing_.end();
}

std::string BridgeModule::Description() const {
    const std::wstring path = ModulePath(module_.get());
    const std::string version = FileVersion(path);
    return WideToUtf8(path) + (version.empty() ? ", no version resource" : ", file version " + version);
}

}  // namespace vtx::cli
