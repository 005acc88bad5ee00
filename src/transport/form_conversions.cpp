// The forms' conversions between what the peer sends, what the queue keeps
// (UTF-16) and what a host receives: ANSI code page for the narrow form,
// UTF-16 unchanged for the wide one.
#include <windows.h>

#include <climits>
#include <cstring>

#include "transport/decode.h"
#include "transport/form_traits.h"
#include "transport/server_request_queue.h"

namespace vtx {
namespace {
constexpr const char* kNoMemory = "no memory to keep it";
}  // namespace

Owned<QueuedText> NarrowForm::ToQueued(const ReceivedText& text, const char** refusal) noexcept {
    const auto* bytes = reinterpret_cast<const char*>(text.bytes);
    // A payload is shorter than its 100000-unit field, so it fits an int;
    // each byte gives at most one UTF-16 unit.
    const int length = static_cast<int>(text.length);
    const int units = length == 0 ? 0 : ::MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    if (length != 0 && units <= 0) {
        *refusal = "its text is not valid in the ANSI code page";
        return nullptr;
    }
    Owned<QueuedText> queued = QueuedText::Make(static_cast<std::size_t>(units));
    if (!queued) {
        *refusal = kNoMemory;
        return nullptr;
    }
    if (units != 0) ::MultiByteToWideChar(CP_ACP, 0, bytes, length, queued->Units(), units);
    return queued;
}

Owned<QueuedText> WideForm::ToQueued(const ReceivedText& text, const char** refusal) noexcept {
    Owned<QueuedText> queued = QueuedText::Make(text.length);
    if (!queued) {
        *refusal = kNoMemory;
        return nullptr;
    }
    std::memcpy(static_cast<void*>(queued->Units()), text.bytes, text.length * sizeof(WideChar));
    return queued;
}

// Characters the code page lacks become its default character.
std::size_t NarrowForm::QueuedLength(const QueuedText& text) noexcept {
    if (text.Length() == 0) return 0;
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.Units(), static_cast<int>(text.Length()), nullptr, 0,
                                            nullptr, nullptr);
    return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

void NarrowForm::WriteQueued(const QueuedText& text, char* out, std::size_t length) noexcept {
    if (length != 0) {
        const int written = ::WideCharToMultiByte(CP_ACP, 0, text.Units(), static_cast<int>(text.Length()), out,
                                                  static_cast<int>(length), nullptr, nullptr);
        if (written <= 0) length = 0;
    }
    out[length] = '\0';
}

std::size_t WideForm::QueuedLength(const QueuedText& text) noexcept { return text.Length(); }

void WideForm::WriteQueued(const QueuedText& text, WideChar* out, std::size_t length) noexcept {
    std::memcpy(out, text.Units(), length * sizeof(WideChar));
    out[length] = L'\0';
}

}  // namespace vtx
