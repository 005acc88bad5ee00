// What differs between the two forms of every message. Each narrow/wide
// twin is one template instantiated with both traits; code that learns the
// form only at run time (a session's form, a message's code) takes the
// traits from WithForm, the one place that branches on it, which fails to
// compile until a new form has its case. What else a third form touches is
// listed in docs/internals.md ("Where a change goes").
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/heap.h"
#include "support/owned_text.h"
#include "transport/server_request_queue.h"
#include "transport/envelope.h"
#include "transport/message_codes.h"

namespace vtx {

struct ReceivedText;

// The error text a failed text-returning export hands back:
// {"eventId":9999, "jobId":"", "code":N}. Written into `out` (room for
// `capacity` units) with its terminator; returns its length, or 0 with
// nothing written when it does not fit.
template <class Char>
[[nodiscard]] std::size_t WriteErrorText(int code, Char* out, std::size_t capacity) noexcept {
    static constexpr char kStart[] = "{\"eventId\":9999, \"jobId\":\"\", \"code\":";
    char digits[12];
    std::size_t digitCount = 0;
    // The magnitude as unsigned, so the most negative int has one too.
    unsigned int magnitude = code < 0 ? 0u - static_cast<unsigned int>(code) : static_cast<unsigned int>(code);
    do {
        digits[digitCount++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const std::size_t length = (sizeof(kStart) - 1) + (code < 0 ? 1 : 0) + digitCount + 1;
    if (length >= capacity) return 0;
    std::size_t at = 0;
    // ASCII: each byte widens to one UTF-16 unit unchanged.
    for (std::size_t i = 0; i + 1 < sizeof(kStart); ++i) out[at++] = static_cast<Char>(kStart[i]);
    if (code < 0) out[at++] = static_cast<Char>('-');
    while (digitCount != 0) out[at++] = static_cast<Char>(digits[--digitCount]);
    out[at++] = static_cast<Char>('}');
    out[at] = Char{};
    return at;
}

// What the two forms share, with the form's own types and codes.
template <class FormChar, class FormEnvelope, Form kFormValue, std::uint32_t kBase>
struct FormBasics {
    using Char = FormChar;
    using Envelope = FormEnvelope;
    static constexpr Form kForm = kFormValue;
    // The code of an operation in this form, from its narrow (1000-series)
    // code: the wide twin is 1000 higher.
    static constexpr std::uint32_t Code(std::uint32_t narrowCode) { return narrowCode - 1000 + kBase; }
    static constexpr std::uint32_t kPollCode = Code(code::kPoll);

    [[nodiscard]] static std::size_t ErrorText(int resultCode, Char* out, std::size_t capacity) noexcept {
        return WriteErrorText(resultCode, out, capacity);
    }
};

// Each form's Win32 work is declared here and defined beside the calls it
// makes: the request ID in request_id.cpp, the conversions in
// form_conversions.cpp.
//
//   NewRequestId  a fresh request ID in the envelope's field.
//   ToQueued      a server request's text as it came in this form, as the
//                 UTF-16 text the queue keeps; null, with the reason for the
//                 log in *refusal, when it cannot be kept.
//   QueuedLength  units a queued text takes in this form, terminator not
//                 counted;
//   WriteQueued   and the text written into `out`, which has room for that
//                 many units plus the terminator.
//   WithHostText  calls visit(text, length) with a queued text as a host
//                 receives it in this form; false, nothing called, when no
//                 memory is left for the conversion.

// Narrow: texts in the ANSI code page, 1000-series codes.
struct NarrowForm : FormBasics<char, MessageEnvelope, Form::Narrow, 1000> {
    // A narrow server request carries no length of its own.
    static constexpr bool kServerRequestHasLength = false;
    static void NewRequestId(Envelope& envelope) noexcept;
    [[nodiscard]] static Owned<QueuedText> ToQueued(const ReceivedText& text, const char** refusal) noexcept;
    static std::size_t QueuedLength(const QueuedText& text) noexcept;
    static void WriteQueued(const QueuedText& text, Char* out, std::size_t length) noexcept;
    template <class Visit>
    [[nodiscard]] static bool WithHostText(const QueuedText& text, Visit&& visit) noexcept {
        const std::size_t length = QueuedLength(text);
        OwnedText<Char> converted;
        if (!converted.Allocate(length)) return false;
        WriteQueued(text, converted.Data(), length);
        visit(converted.CStr(), length);
        return true;
    }
};

// Wide: texts in UTF-16, 2000-series codes.
struct WideForm : FormBasics<WideChar, MessageEnvelopeW, Form::Wide, 2000> {
    // A wide server request's `length` sizes its text's buffer, terminator
    // included.
    static constexpr bool kServerRequestHasLength = true;
    static void NewRequestId(Envelope& envelope) noexcept;
    [[nodiscard]] static Owned<QueuedText> ToQueued(const ReceivedText& text, const char** refusal) noexcept;
    static std::size_t QueuedLength(const QueuedText& text) noexcept;
    static void WriteQueued(const QueuedText& text, Char* out, std::size_t length) noexcept;
    template <class Visit>
    [[nodiscard]] static bool WithHostText(const QueuedText& text, Visit&& visit) noexcept {
        visit(text.Units(), text.Length());  // as it is queued
        return true;
    }
};

// Calls `visit` with the traits of `form`. Each form has its case and there
// is no default, so a form without one fails to compile here (-Wswitch).
template <class Visitor>
decltype(auto) WithForm(Form form, Visitor&& visit) {
    switch (form) {
        case Form::Narrow:
            return visit(NarrowForm{});
        case Form::Wide:
            break;
    }
    return visit(WideForm{});  // Form::Wide: no other value is ever made
}

}  // namespace vtx
