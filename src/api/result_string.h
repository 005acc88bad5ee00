// The library-owned texts of vtx_sendrequest, vtx_sendrequestw and
// vtx_getbridgeid. A host may keep the pointer of one call and read it again
// after the next: every call writes into the same storage, taken once and
// large enough for any payload, so the address never changes.
#pragma once

#include <cstddef>
#include <string>

#include "transport/envelope.h"

namespace vtx::api {

template <class Char>
void ReserveForAnyPayload(std::basic_string<Char>& result) {
    if (result.capacity() < kPayloadUnits) result.reserve(kPayloadUnits);
}

}  // namespace vtx::api
