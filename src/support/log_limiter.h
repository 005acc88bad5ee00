// Which log lines are written, for events a peer (or a host in a loop) can
// repeat thousands of times a second: failed exports, refused messages,
// unwanted answers. Past a few lines a second of one kind, the rest of that
// second is only counted, and one summary line tells how many were left
// out. Portable: the clock is the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/sync.h"

namespace vtx {

enum class LogKind {
    FailedExport,    // an export ended with 6 or 14 of its own
    RefusedMessage,  // the bridge window refused a message (answered 0)
    UnwaitedAnswer,  // an answer for a request nobody waits for
};
inline constexpr std::size_t kLogKindCount = 3;

// "failed calls", "refused messages", "answers nobody waited for".
const char* LogKindName(LogKind kind) noexcept;

// Every kind has windows of one second, opened by its first line; the first
// kLinesPerWindow lines of a window are written, the rest counted. The
// count of an ended window comes back with the next line of any kind.
class LogLimiter {
public:
    static constexpr int kLinesPerWindow = 5;
    static constexpr std::uint64_t kWindowMs = 1000;

    struct Summary {
        LogKind kind;
        std::uint64_t skipped;  // lines of `kind` left out in its ended window
    };
    struct Decision {
        bool admitted = false;
        // Ended windows that left lines out, to be reported before the line.
        Summary summaries[kLogKindCount];
        std::size_t summaryCount = 0;
    };

    constexpr LogLimiter() noexcept = default;

    // Whether a line of `kind` at `nowMs` (a monotonic millisecond clock)
    // may be written.
    Decision Admit(LogKind kind, std::uint64_t nowMs) noexcept;

private:
    struct Window {
        bool open = false;
        std::uint64_t startMs = 0;
        int written = 0;
        std::uint64_t skipped = 0;
    };

    Lock lock_;
    Window windows_[kLogKindCount] = {};
};

}  // namespace vtx
