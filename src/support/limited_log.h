// Log lines for events a peer (or a host in a loop) can repeat thousands of
// times a second: failed exports, refused messages, unwanted answers. Past a
// few lines a second of one kind, the rest of that second is only counted,
// and one summary line tells how many were left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "support/sync.h"

namespace vtx {

enum class LogKind {
    FailedExport,    // an export ended with 6 or 14 of its own
    RefusedMessage,  // the bridge window refused a message (answered 0)
    UnwaitedAnswer,  // an answer for a request nobody waits for
};
inline constexpr std::size_t kLogKindCount = 3;

// Decides which lines of each kind are written. Every kind has windows of
// one second, opened by its first line; the first kLinesPerWindow lines of a
// window are written, the rest counted. The count of an ended window comes
// back as a summary line with the next line of any kind.
class LogLimiter {
public:
    static constexpr int kLinesPerWindow = 5;
    static constexpr std::uint64_t kWindowMs = 1000;

    // Whether a line of `kind` at `nowMs` (a monotonic millisecond clock) may
    // be written. Summaries of ended windows are appended to `summaries`, to
    // be written before that line.
    bool Admit(LogKind kind, std::uint64_t nowMs, std::vector<std::string>& summaries);

private:
    struct Window {
        bool open = false;
        std::uint64_t startMs = 0;
        int written = 0;
        std::uint64_t skipped = 0;
    };
    void CloseEnded(std::uint64_t nowMs, std::vector<std::string>& summaries);

    Lock lock_;
    Window windows_[kLogKindCount];
};

// WriteLog through the library's limiter and the tick count.
void WriteLimitedLog(LogKind kind, const std::string& message) noexcept;

// A text from outside (a request ID a peer sent) made safe for one log line:
// printable ASCII kept, every other unit shown as '?', at most `maxUnits`.
template <class Char>
std::string LoggableText(const std::basic_string<Char>& text, std::size_t maxUnits = 40) {
    std::string safe;
    for (std::size_t i = 0; i < text.size() && i < maxUnits; ++i) {
        const auto unit = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(text[i]));
        safe += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    if (text.size() > maxUnits) safe += "...";
    return safe;
}

}  // namespace vtx
