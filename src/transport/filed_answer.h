// What the library keeps of an answer until the export that asked takes it:
// the fields an export may read, the payload as long as it is, not the whole
// 100 KB (narrow) or 200 KB (wide) envelope it came in. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/owned_text.h"
#include "transport/envelope.h"

namespace vtx {

// A request ID: the text of a fresh GUID (or the fixed fallback), at most
// 39 units. Answers are paired with their requests by it alone.
template <class Char>
struct RequestIdText {
    Char units[kRequestIdUnits] = {};
    std::size_t length = 0;

    // The text of an envelope's field, up to its terminator.
    static RequestIdText OfField(const Char (&field)[kRequestIdUnits]) noexcept {
        RequestIdText id;
        id.length = BoundedLength(field, kRequestIdUnits);
        if (id.length == kRequestIdUnits) id.length = kRequestIdUnits - 1;  // never for IDs we made
        std::memcpy(id.units, field, id.length * sizeof(Char));
        return id;
    }
    bool operator==(const RequestIdText& other) const noexcept {
        return length == other.length && std::memcmp(units, other.units, length * sizeof(Char)) == 0;
    }
};

// What the exports read of an answer: its status and payload; the request
// ID pairs it with its request.
template <class Char>
struct FiledAnswer {
    std::int32_t status = 0;
    RequestIdText<Char> requestId;
    OwnedText<Char> payload;
};

}  // namespace vtx
