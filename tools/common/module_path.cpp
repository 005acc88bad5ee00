#include "common/module_path.h"

namespace vtx::common {
namespace {

constexpr DWORD kLongPath = 32768;

}  // namespace

std::wstring ModulePath(HMODULE module) {
    std::wstring path(kLongPath, L'\0');
    const DWORD length = ::GetModuleFileNameW(module, path.data(), kLongPath);
    path.resize(length < kLongPath ? length : 0);
    return path;
}

std::wstring ExecutableFolder() {
    std::wstring folder = ModulePath(nullptr);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder;
}

}  // namespace vtx::common
