// vtxbridge.dll loaded at run time and its twenty exports resolved by their
// undecorated names, as a host does that never links the import library: a
// missing DLL or export is then the caller's to report, not a loader error.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "api/export_list.h"
#include "support/unique_handle.h"
#include "vtxbridge.h"

namespace vtx::common {

struct FreeLibraryCloser {
    void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
// A loaded module, freed with its owner.
using UniqueModule = UniqueResource<HMODULE, FreeLibraryCloser, nullptr>;

// Every export of api/export_list.h, named without "vtx_" (exports.init
// is vtx_init); null where the DLL lacks it.
struct BridgeExports {
#define VTX_EXPORT_MEMBER(name, result, parameters, bytes) decltype(&vtx_##name) name = nullptr;
    VTX_EXPORTS(VTX_EXPORT_MEMBER)
#undef VTX_EXPORT_MEMBER
};

// The DLL stays loaded for the life of the object, or until Unload().
class LoadedBridge {
public:
    // LoadLibraryW(path); Loaded() tells whether it worked.
    explicit LoadedBridge(const std::wstring& path);

    bool Loaded() const { return static_cast<bool>(module_); }
    // GetLastError of a failed load, taken before any other call could change it.
    DWORD LoadError() const { return loadError_; }
    HMODULE Module() const { return module_.get(); }
    const BridgeExports& Exports() const { return exports_; }
    // Export names GetProcAddress did not find, e.g. "vtx_login", in the
    // order of BridgeExports.
    const std::vector<std::string>& Missing() const { return missing_; }

    // FreeLibrary now; every export pointer is then invalid.
    void Unload() { module_.reset(); }

private:
    UniqueModule module_;
    DWORD loadError_ = 0;
    BridgeExports exports_;
    std::vector<std::string> missing_;
};

}  // namespace vtx::common
