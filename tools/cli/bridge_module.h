// vtxbridge.dll loaded at run time, its exports resolved by their
// undecorated names. vtxcli never links the import library: a missing DLL
// or export must be a clear message, not a loader error before main.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "support/unique_handle.h"
#include "vtxbridge.h"

namespace vtx::cli {

struct Exports {
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

// The loaded DLL and its exports. The session lives across every command;
// the DLL is unloaded when the object goes, after the last one.
class BridgeModule {
public:
    // Loads `path`, or by default vtxbridge.dll next to vtxcli.exe, else
    // through the normal search. On failure, `error` says what and why.
    static std::optional<BridgeModule> Load(const std::optional<std::wstring>& path, std::string* error);

    const Exports& Functions() const { return exports_; }
    // Export names GetProcAddress did not find, e.g. "vtx_login".
    const std::vector<std::string>& Missing() const { return missing_; }
    bool Has(const std::string& exportName) const;
    // "C:\...\vtxbridge.dll, file version 1.0.0.0" for the first output line.
    std::string Description() const;

private:
    UniqueModule module_;
    Exports exports_;
    std::vector<std::string> missing_;
};

}  // namespace vtx::cli
