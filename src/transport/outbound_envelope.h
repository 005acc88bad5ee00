// The blank envelopes the library sends. A request's envelope is 100 KB
// (narrow) or 200 KB (wide) and lives only for the send, so making a fresh
// one per request (heap pages committed again, every byte zeroed) cost a
// wide round trip about as much as the rest of the library's work together.
// So each form keeps one spare: its own pages from VirtualAlloc, outside the
// heap, so keeping it changes nothing of how the heap places other blocks;
// blanked whole before it is handed out again, so no text of an earlier
// request ever travels in a later one. Threads sending at once beyond the
// spare get fresh pages, which the system hands out zeroed.
#pragma once

#include <memory>

#include "transport/envelope.h"

namespace vtx {

// Gives an envelope back to its form's spare when its owner is done.
template <class Envelope>
struct ReturnToSpare {
    void operator()(Envelope* envelope) const noexcept;
};

// An outbound envelope, owned: blank when taken, given back when dropped.
template <class Envelope>
using OutboundEnvelope = std::unique_ptr<Envelope, ReturnToSpare<Envelope>>;

// A blank envelope (every byte zero, pollMode = -1) for one outbound message;
// null when no memory is left.
template <class Envelope>
[[nodiscard]] OutboundEnvelope<Envelope> TakeBlankEnvelope() noexcept;

// Gives the kept envelopes' pages back to the system: at unload, once no
// thread of the library sends any more.
void ReleaseSpareEnvelopes() noexcept;

}  // namespace vtx
