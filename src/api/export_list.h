// The twenty exports, listed once: each one's name without "vtx_", its
// result, its parameter list, and the bytes of arguments an x86 caller
// pushes (the @N of its decorated __stdcall name).
//
// From this list come the compile-time checks of the public header
// (api/export_signatures.cpp), the loader the tools and tests share
// (tools/common/bridge_exports.*), and the build's checks of
// res/vtxbridge.def and of the kits' .def (cmake/ExportList.cmake reads the
// X(...) lines below, one per line).
//
// Adding an export that sends a request and waits for its answer: a line
// here; its message's line in transport/message_codes.h (code, this name,
// form, Awaited, ToPeer); its declaration and PFN_ type in
// include/vtxbridge.h; its line in res/vtxbridge.def; and its body in an
// api/*_exports.cpp, whose RunExchange names the message's code. Nothing
// else in src/ changes: the bridge window files the new answer, and the
// failure log names the export, from the message table. A body that waits
// for a code the table does not list as Awaited in its form does not
// compile (api/call_frame.h). Outside src/: a verb in vtxcli
// (tools/cli/command.*, session_runner.cpp), the substitute peer's default
// answers (tools/peer/answer_rules.cpp; a unit test holds them against the
// table), and the docs (api.md, protocol.md).
#pragma once

#define VTX_EXPORTS(X)                                                        \
    X(init, int, (int, const char*, int, VtxServerRequestCallback), 16)       \
    X(initw, int, (int, const wchar_t*, int, VtxServerRequestCallback), 16)   \
    X(deinit, int, (void), 0)                                                 \
    X(sendrequest, const char*, (const char*, int), 8)                        \
    X(sendrequestw, const wchar_t*, (const wchar_t*, int), 8)                 \
    X(sendrequestparam, int, (const char*, int, char*, unsigned int*), 16)    \
    X(sendrequestparamw, int, (const wchar_t*, int, wchar_t*, unsigned int*), 16) \
    X(sendresponse, int, (const char*, int), 8)                               \
    X(sendresponsew, int, (const wchar_t*, int), 8)                           \
    X(getrequestmessage, int, (char*, unsigned int*), 8)                      \
    X(getrequestmessagew, int, (wchar_t*, unsigned int*), 8)                  \
    X(getjobid, int, (char*, unsigned int*), 8)                               \
    X(getjobidw, int, (wchar_t*, unsigned int*), 8)                           \
    X(geterrorstring, int, (int, char*, unsigned int*), 12)                   \
    X(geterrorstringw, int, (int, wchar_t*, unsigned int*), 12)               \
    X(login, int, (const char*, const char*), 8)                              \
    X(loginw, int, (int, const wchar_t*, const wchar_t*), 12)                 \
    X(iswcalive, int, (void), 0)                                              \
    X(setbridgeid, int, (const char*), 4)                                     \
    X(getbridgeid, const char*, (void), 0)
