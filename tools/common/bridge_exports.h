// vtxbridge.dll loaded at run time and its twenty exports resolved by their
// undecorated names, as a host does that never links the import library: a
// missing DLL or export is then the caller's to report, not a loader error.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/unique_handle.h"
#include "vtxbridge.h"

namespace vtx::common {

// Null where the DLL lacks the export.
struct BridgeExports {
    decltype(&vtx_init) init = nullptr;
    decltype(&vtx_initw) initw = nullptr;
    decltype(&vtx_deinit) deinit = nullptr;
    decltype(&vtx_sendrequest) sendrequest = nullptr;
    decltype(&vtx_sendrequestw) sendrequestw = nullptr;
    decltype(&vtx_sendrequestparam) sendrequestparam = nullptr;
    decltype(&vtx_sendrequestparamw) sendrequestparamw = nullptr;
    decltype(&vtx_sendresponse) sendresponse = nullptr;
    decltype(&vtx_sendresponsew) sendresponsew = nullptr;
    decltype(&vtx_getrequestmessage) getrequestmessage = nullptr;
    decltype(&vtx_getrequestmessagew) getrequestmessagew = nullptr;
    decltype(&vtx_getjobid) getjobid = nullptr;
    decltype(&vtx_getjobidw) getjobidw = nullptr;
    decltype(&vtx_geterrorstring) geterrorstring = nullptr;
    decltype(&vtx_geterrorstringw) geterrorstringw = nullptr;
    decltype(&vtx_login) login = nullptr;
    decltype(&vtx_loginw) loginw = nullptr;
    decltype(&vtx_iswcalive) iswcalive = nullptr;
    decltype(&vtx_setbridgeid) setbridgeid = nullptr;
    decltype(&vtx_getbridgeid) getbridgeid = nullptr;
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
