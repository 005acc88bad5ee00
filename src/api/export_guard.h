// No exception ever crosses an export: each body runs inside one of these.
#pragma once

#include <string>

#include "api/failure_log.h"
#include "api/host_text.h"
#include "vtxbridge.h"

namespace vtx::api {

// An int-returning export. A failure inside the library (memory exhausted)
// reports the request as not delivered.
template <class Body>
int GuardedCode(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        LogLibraryFailure("vtx", "no memory inside the library");
        return VTX_RESULT_NOT_DELIVERED;
    }
}

// A text-returning export filling the library-owned `result`.
template <class F, class Body>
const typename F::Char* GuardedText(typename F::String& result, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        LogLibraryFailure("vtx", "no memory inside the library");
        try {
            MakeErrorTextOf<F>(VTX_RESULT_NOT_DELIVERED, result);
        } catch (...) {
            // Not even the error text fits: the string keeps its last content.
        }
    }
    return result.c_str();
}

}  // namespace vtx::api
