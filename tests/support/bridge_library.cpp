#include "support/bridge_library.h"

namespace vtx::test {

std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

template <class Function>
void BridgeLibrary::Resolve(Function& target, const char* name) {
    target = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    if (target == nullptr) missing_ += std::string(missing_.empty() ? "" : " ") + name;
}

BridgeLibrary::BridgeLibrary() {
    module_ = ::LoadLibraryW((ExecutableFolder() + L"vtxbridge.dll").c_str());
    if (module_ == nullptr) return;
    Resolve(init, "vtx_init");
    Resolve(initw, "vtx_initw");
    Resolve(deinit, "vtx_deinit");
    Resolve(sendrequest, "vtx_sendrequest");
    Resolve(sendrequestw, "vtx_sendrequestw");
    Resolve(sendrequestparam, "vtx_sendrequestparam");
    Resolve(sendrequestparamw, "vtx_sendrequestparamw");
    Resolve(sendresponse, "vtx_sendresponse");
    Resolve(sendresponsew, "vtx_sendresponsew");
    Resolve(getrequestmessage, "vtx_getrequestmessage");
    Resolve(getrequestmessagew, "vtx_getrequestmessagew");
    Resolve(getjobid, "vtx_getjobid");
    Resolve(getjobidw, "vtx_getjobidw");
    Resolve(geterrorstring, "vtx_geterrorstring");
    Resolve(geterrorstringw, "vtx_geterrorstringw");
    Resolve(login, "vtx_login");
    Resolve(loginw, "vtx_loginw");
    Resolve(iswcalive, "vtx_iswcalive");
    Resolve(setbridgeid, "vtx_setbridgeid");
    Resolve(getbridgeid, "vtx_getbridgeid");
}

BridgeLibrary::~BridgeLibrary() { Unload(); }

void BridgeLibrary::Unload() {
    if (module_ != nullptr) ::FreeLibrary(module_);
    module_ = nullptr;
}

}  // namespace vtx::test
