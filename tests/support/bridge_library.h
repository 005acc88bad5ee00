// vtxbridge.dll loaded the way a host loads it: LoadLibrary, then every
// export resolved by its undecorated name.
#pragma once

#include <windows.h>

#include <string>

#include "vtxbridge.h"

namespace vtx::test {

class BridgeLibrary {
public:
    // Loads the DLL from the directory of the running executable.
    BridgeLibrary();
    ~BridgeLibrary();
    BridgeLibrary(const BridgeLibrary&) = delete;
    BridgeLibrary& operator=(const BridgeLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    // Names of exports that could not be resolved; empty when all were.
    const std::string& Missing() const { return missing_; }
    // Unloads now (FreeLibrary); the function pointers are then invalid.
    void Unload();

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

private:
    template <class Function>
    void Resolve(Function& target, const char* name);

    HMODULE module_ = nullptr;
    std::string missing_;
};

// The folder of the running executable, with a trailing backslash.
std::wstring ExecutableFolder();

}  // namespace vtx::test
