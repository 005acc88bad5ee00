#include "callback_recorder.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>

#include "common/text_conversion.h"
#include "output.h"
#include "quote.h"

namespace vtx::cli {
namespace {

struct Deliveries {
    std::mutex lock;
    std::condition_variable arrived;
    std::size_t count = 0;
};

Deliveries& TheDeliveries() {
    static Deliveries deliveries;
    return deliveries;
}

// `length` is what the library claims; the text is read only up to its
// terminator within that length, so a wrong claim cannot make vtxcli read
// past the text, and a mismatch is shown.
template <class Char, class ToUtf8>
std::string Describe(const Char* text, unsigned int length, ToUtf8 toUtf8) {
    if (text == nullptr) return "callback: null (" + std::to_string(length) + ")";
    std::size_t units = 0;
    while (units < length && text[units] != Char{}) ++units;
    std::string line =
        "callback: " + Quote(toUtf8(std::basic_string_view<Char>(text, units))) + " (" + std::to_string(length) + ")";
    if (units != length) line += ", but the text ends after " + std::to_string(units);
    return line;
}

void Record(const std::string& line) noexcept {
    try {
        WriteLine(Stream::Out, line);
        Deliveries& deliveries = TheDeliveries();
        {
            std::lock_guard<std::mutex> guard(deliveries.lock);
            ++deliveries.count;
        }
        deliveries.arrived.notify_all();
    } catch (...) {
        // Nothing may escape into the library's thread.
    }
}

}  // namespace

void VTX_CALL NarrowCallback(const void* text, unsigned int length) {
    try {
        Record(Describe(static_cast<const char*>(text), length, common::AnsiToUtf8));
    } catch (...) {
        Record("callback: (out of memory)");
    }
}

void VTX_CALL WideCallback(const void* text, unsigned int length) {
    try {
        Record(Describe(static_cast<const wchar_t*>(text), length, common::WideToUtf8));
    } catch (...) {
        Record("callback: (out of memory)");
    }
}

std::size_t CallbackCount() {
    Deliveries& deliveries = TheDeliveries();
    std::lock_guard<std::mutex> guard(deliveries.lock);
    return deliveries.count;
}

std::size_t WaitForCallbacks(std::size_t count, std::chrono::milliseconds timeout) {
    Deliveries& deliveries = TheDeliveries();
    std::unique_lock<std::mutex> guard(deliveries.lock);
    deliveries.arrived.wait_for(guard, timeout, [&] { return deliveries.count >= count; });
    return deliveries.count;
}

}  // namespace vtx::cli
