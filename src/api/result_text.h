// The library-owned texts of vtx_sendrequest, vtx_sendrequestw and
// vtx_getbridgeid. A host may keep the pointer of one call and read it again
// after the next: every call writes into the same storage, part of the
// library's image and large enough for any payload, so the address never
// changes and filling it never needs memory.
#pragma once

#include <cstddef>
#include <cstring>

#include "transport/envelope.h"

namespace vtx::api {

template <class Char>
class ResultText {
public:
    constexpr ResultText() noexcept = default;
    ResultText(const ResultText&) = delete;
    ResultText& operator=(const ResultText&) = delete;

    // The text replaced by `length` units of `units` (a payload: shorter
    // than its field, so it always fits).
    const Char* Set(const Char* units, std::size_t length) noexcept {
        if (length >= kPayloadUnits) length = kPayloadUnits - 1;
        std::memmove(text_, units, length * sizeof(Char));
        text_[length] = Char{};
        return text_;
    }
    // The text replaced by the error text of `code`.
    template <class F>
    const Char* SetError(int code) noexcept {
        // An error text is far shorter than the field: it always fits.
        static_cast<void>(F::ErrorText(code, text_, kPayloadUnits));
        return text_;
    }

private:
    Char text_[kPayloadUnits] = {};
};

}  // namespace vtx::api
