#include "transport/outbound_envelope.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <type_traits>

namespace vtx {
namespace {

template <class Envelope>
Envelope* CommitEnvelopePages() {
    void* pages = ::VirtualAlloc(nullptr, sizeof(Envelope), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    return static_cast<Envelope*>(pages);  // zeroed by the system; null when none are left
}

template <class Envelope>
void FreeEnvelopePages(Envelope* envelope) {
    if (envelope != nullptr) ::VirtualFree(envelope, 0, MEM_RELEASE);
}

// One kept envelope per form, taken and given back with a single exchange,
// so no lock is needed and a sender never waits for another. Its pages go
// back to the system at unload (ReleaseSpareEnvelopes).
template <class Envelope>
class SpareSlot {
public:
    constexpr SpareSlot() = default;
    SpareSlot(const SpareSlot&) = delete;
    SpareSlot& operator=(const SpareSlot&) = delete;

    Envelope* Take() { return kept_.exchange(nullptr); }
    void Release() { FreeEnvelopePages(kept_.exchange(nullptr)); }

    // Keeps `envelope`, blanked, unless another is kept already; frees it
    // otherwise.
    void Give(Envelope* envelope) {
        if (kept_.load() == nullptr) {
            // Blanked before it is kept: the next message starts from nothing.
            std::memset(static_cast<void*>(envelope), 0, sizeof(Envelope));
            envelope->pollMode = -1;
            Envelope* empty = nullptr;
            if (kept_.compare_exchange_strong(empty, envelope)) return;
        }
        FreeEnvelopePages(envelope);
    }

private:
    std::atomic<Envelope*> kept_{nullptr};
};

SpareSlot<MessageEnvelope> narrowSpare;
SpareSlot<MessageEnvelopeW> wideSpare;

template <class Envelope>
SpareSlot<Envelope>& SpareOf() {
    if constexpr (std::is_same_v<Envelope, MessageEnvelope>) {
        return narrowSpare;
    } else {
        static_assert(std::is_same_v<Envelope, MessageEnvelopeW>);
        return wideSpare;
    }
}

}  // namespace

template <class Envelope>
void ReturnToSpare<Envelope>::operator()(Envelope* envelope) const noexcept {
    SpareOf<Envelope>().Give(envelope);
}

template <class Envelope>
OutboundEnvelope<Envelope> TakeBlankEnvelope() noexcept {
    Envelope* envelope = SpareOf<Envelope>().Take();
    if (envelope == nullptr) {
        envelope = CommitEnvelopePages<Envelope>();
        if (envelope == nullptr) return nullptr;
        envelope->pollMode = -1;
    }
    return OutboundEnvelope<Envelope>(envelope);
}

void ReleaseSpareEnvelopes() noexcept {
    narrowSpare.Release();
    wideSpare.Release();
}

template struct ReturnToSpare<MessageEnvelope>;
template struct ReturnToSpare<MessageEnvelopeW>;
template OutboundEnvelope<MessageEnvelope> TakeBlankEnvelope<MessageEnvelope>() noexcept;
template OutboundEnvelope<MessageEnvelopeW> TakeBlankEnvelope<MessageEnvelopeW>() noexcept;

}  // namespace vtx
