// The result and parameter list of every export, written out a second time.
// On x86 the .def file ties each export to its decorated name (vtx_init@16),
// so a changed parameter list fails the link; x64 has no such decoration and
// its linkers would take the change silently. This file fails the build on
// every target instead. Changing an entry here changes the DLL's binary
// interface: hosts built against the old header would break.
#include <type_traits>

#include "vtxbridge.h"

#define VTX_EXPECT_EXPORT(name, result, parameters)                                     \
    static_assert(std::is_same_v<decltype(&name), result(VTX_CALL*) parameters>, #name \
                  ": its result or parameter list differs from what hosts were built against")

VTX_EXPECT_EXPORT(vtx_init, int, (int, const char*, int, VtxServerRequestCallback));
VTX_EXPECT_EXPORT(vtx_initw, int, (int, const wchar_t*, int, VtxServerRequestCallback));
VTX_EXPECT_EXPORT(vtx_deinit, int, ());
VTX_EXPECT_EXPORT(vtx_sendrequest, const char*, (const char*, int));
VTX_EXPECT_EXPORT(vtx_sendrequestw, const wchar_t*, (const wchar_t*, int));
VTX_EXPECT_EXPORT(vtx_sendrequestparam, int, (const char*, int, char*, unsigned int*));
VTX_EXPECT_EXPORT(vtx_sendrequestparamw, int, (const wchar_t*, int, wchar_t*, unsigned int*));
VTX_EXPECT_EXPORT(vtx_sendresponse, int, (const char*, int));
VTX_EXPECT_EXPORT(vtx_sendresponsew, int, (const wchar_t*, int));
VTX_EXPECT_EXPORT(vtx_getrequestmessage, int, (char*, unsigned int*));
VTX_EXPECT_EXPORT(vtx_getrequestmessagew, int, (wchar_t*, unsigned int*));
VTX_EXPECT_EXPORT(vtx_getjobid, int, (char*, unsigned int*));
VTX_EXPECT_EXPORT(vtx_getjobidw, int, (wchar_t*, unsigned int*));
VTX_EXPECT_EXPORT(vtx_geterrorstring, int, (int, char*, unsigned int*));
VTX_EXPECT_EXPORT(vtx_geterrorstringw, int, (int, wchar_t*, unsigned int*));
VTX_EXPECT_EXPORT(vtx_login, int, (const char*, const char*));
VTX_EXPECT_EXPORT(vtx_loginw, int, (int, const wchar_t*, const wchar_t*));
VTX_EXPECT_EXPORT(vtx_iswcalive, int, ());
VTX_EXPECT_EXPORT(vtx_setbridgeid, int, (const char*));
VTX_EXPECT_EXPORT(vtx_getbridgeid, const char*, ());
// The callback's type is part of the interface too: the library calls it.
static_assert(std::is_same_v<VtxServerRequestCallback, void(VTX_CALL*)(const void*, unsigned int)>,
              "VtxServerRequestCallback differs from what hosts were built against");
