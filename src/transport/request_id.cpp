#include "transport/request_id.h"

#include "transport/form_traits.h"

#include <objbase.h>

namespace vtx {
namespace {

template <class Char>
void WriteFallback(Char (&field)[kRequestIdUnits]) noexcept {
    for (std::size_t i = 0; kFallbackRequestId[i] != '\0'; ++i) field[i] = static_cast<Char>(kFallbackRequestId[i]);
}

template <class Char, class RpcString, class ToString, class Free>
void FillRequestId(Char (&field)[kRequestIdUnits], const GuidSource& source, ToString toString, Free release) noexcept {
    for (Char& unit : field) unit = Char{};
    GUID guid{};
    if (FAILED(source.create(&guid))) return;

    RpcString text = nullptr;
    if (toString(&guid, &text) != RPC_S_OK || text == nullptr) {
        WriteFallback(field);
        return;
    }
    const auto* units = reinterpret_cast<const Char*>(text);
    // A GUID's text takes 36 units; one that would not fit is no GUID's.
    const bool copied = CopyToField(field, units, BoundedLength(units, kRequestIdUnits));
    release(&text);
    if (!copied) WriteFallback(field);
}

}  // namespace

GuidSource SystemGuidSource() noexcept {
    return {&::CoCreateGuid, &::UuidToStringA, &::UuidToStringW, &::RpcStringFreeA, &::RpcStringFreeW};
}

void NewRequestId(MessageEnvelope& envelope, const GuidSource& source) noexcept {
    FillRequestId<char, RPC_CSTR>(envelope.requestId, source, source.toStringA, source.freeA);
}

void NewRequestIdW(MessageEnvelopeW& envelope, const GuidSource& source) noexcept {
    FillRequestId<wchar_t, RPC_WSTR>(envelope.requestId, source, source.toStringW, source.freeW);
}

void NarrowForm::NewRequestId(MessageEnvelope& envelope) noexcept { vtx::NewRequestId(envelope, SystemGuidSource()); }

void WideForm::NewRequestId(MessageEnvelopeW& envelope) noexcept { vtx::NewRequestIdW(envelope, SystemGuidSource()); }

}  // namespace vtx
