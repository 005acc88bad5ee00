// The header checked against the list of exports (api/export_list.h), on
// every target. On x86 the .def file ties each export to its decorated name
// (vtx_init@16), so a changed parameter list fails the link; x64 has no such
// decoration and its linkers would take the change silently. These checks
// fail the build instead. Changing an entry of the list changes the DLL's
// binary interface: hosts built against the old header would break.
#include <cstddef>
#include <type_traits>

#include "api/export_list.h"
#include "vtxbridge.h"

namespace {

// What an x86 caller pushes for these parameters: each in 4-byte slots.
template <class Result, class... Parameters>
constexpr std::size_t X86ArgumentBytes(Result(VTX_CALL*)(Parameters...)) {
    return (std::size_t{0} + ... + ((sizeof(Parameters) + 3) / 4 * 4));
}

#define VTX_CHECK_EXPORT(name, result, parameters, bytes)                                                  \
    static_assert(std::is_same_v<decltype(&vtx_##name), result(VTX_CALL*) parameters>,                     \
                  "vtx_" #name ": its result or parameter list differs from what hosts were built against"); \
    static_assert(std::is_same_v<PFN_vtx_##name, decltype(&vtx_##name)>,                                    \
                  "PFN_vtx_" #name " differs from the declaration of vtx_" #name);                         \
    static_assert(sizeof(void*) != 4 || X86ArgumentBytes(&vtx_##name) == bytes,                            \
                  "vtx_" #name ": the argument bytes of its decorated name differ from its parameters");
VTX_EXPORTS(VTX_CHECK_EXPORT)
#undef VTX_CHECK_EXPORT

#define VTX_COUNT_EXPORT(name, result, parameters, bytes) +1
static_assert(0 VTX_EXPORTS(VTX_COUNT_EXPORT) == 20, "the library has twenty exports");
#undef VTX_COUNT_EXPORT

// The callback's type is part of the interface too: the library calls it.
static_assert(std::is_same_v<VtxServerRequestCallback, void(VTX_CALL*)(const void*, unsigned int)>,
              "VtxServerRequestCallback differs from what hosts were built against");

}  // namespace
