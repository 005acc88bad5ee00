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
    BridgeExports& e = exports_;
    std::vector<std::string>& missing = missing_;
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
}

}  // namespace vtx::common
