// Request IDs: the text of a fresh GUID, echoed by the peer in its answer.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <rpc.h>

#include "transport/envelope.h"

namespace vtx {

// The text every request carries when the GUID cannot be turned into text.
inline constexpr char kFallbackRequestId[] = "{12345678-1234-1234-1234-123456789abc}";

// The platform calls behind a request ID, replaceable so tests can make each
// of them fail.
struct GuidSource {
    // decltype keeps each SDK's own parameter types (const or not).
    decltype(&::CoCreateGuid) create;
    decltype(&::UuidToStringA) toStringA;
    decltype(&::UuidToStringW) toStringW;
    decltype(&::RpcStringFreeA) freeA;
    decltype(&::RpcStringFreeW) freeW;
};
GuidSource SystemGuidSource() noexcept;

// Fills requestId: the GUID's 36-character text; the fixed fallback text when
// the conversion fails; empty (all zero) when no GUID can be made.
// The forms' NewRequestId (transport/form_traits.h) use the system's calls.
void NewRequestId(MessageEnvelope& envelope, const GuidSource& source) noexcept;
void NewRequestIdW(MessageEnvelopeW& envelope, const GuidSource& source) noexcept;

}  // namespace vtx
