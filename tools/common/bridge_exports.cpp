#include "common/bridge_exports.h"

namespace vtx::common {
namespace {

template <class Function>
void Resolve(HMODULE module, Function& target, const char* name, std::vector<std::string>& missing) {
    // Through void*: GCC warns on a direct cast between function pointer types.
    target = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    if (target == nullptr) missing.emplace_back(name);
}

}  // namespace

LoadedBridge::LoadedBridge(const std::wstring& path) : module_(::LoadLibraryW(path.c_str())) {
    if (!module_) {
        loadError_ = ::GetLastError();
        return;
    }
    const HMODULE module = module_.get();
#define VTX_RESOLVE_EXPORT(name, result, parameters, bytes) Resolve(module, exports_.name, "vtx_" #name, missing_);
    VTX_EXPORTS(VTX_RESOLVE_EXPORT)
#undef VTX_RESOLVE_EXPORT
}

}  // namespace vtx::common
