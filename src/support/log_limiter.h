// Which log lines are written, for events a peer, another process or a host
// in a loop can repeat thousands of times a second: failed exports, refused
// messages, unwanted answers, windows not taken for the peer, sends that
// found none, a log lock held by another process. Past a few lines a second of one kind, the rest of that
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
    SkippedPeer,     // a window of the peer's class not taken for the peer
    PeerNotFound,    // a send that found no window to take for the peer
    HeldLogLock,     // another process kept the log's append lock past its bound
};
inline constexpr std::size_t kLogKindCount = 6;

// "failed calls", "refused messages", "answers nobody waited for",
// "windows not taken for the peer", "sends that found no peer",
// "notices of a held log lock".
const char* LogKindName(LogKind kind) noexcept;

// Every kind has windows of one second, opened by its first line; the first
// kLinesPerWindow lines of a window are written, the rest counted. The
// count of an ended window comes back with the next line of any kind.
//
// Every kind also has a daily bound: a flood the per-second limit lets
// through (five lines a second) would still fill a disk over the days a
// host runs. Past kLinesPerDay lines of a kind on one day, the rest of that
// day's are only counted; the count comes back with the first line of a
// later day.
class LogLimiter {
public:
    static constexpr int kLinesPerWindow = 5;
    static constexpr std::uint64_t kWindowMs = 1000;
    static constexpr std::uint64_t kLinesPerDay = 10000;

    struct Summary {
        LogKind kind;
        std::uint64_t skipped;  // lines of `kind` left out in its ended window
    };
    struct DaySummary {
        LogKind kind;
        std::uint32_t day;      // YYYYMMDD
        std::uint64_t skipped;  // lines of `kind` left out that day, past its bound
    };
    struct Decision {
        bool admitted = false;
        // This line is the day's last of its kind: say so after it.
        bool dayBoundReached = false;
        // Ended windows that left lines out, to be reported before the line.
        Summary summaries[kLogKindCount];
        std::size_t summaryCount = 0;
        // Ended days that left lines out, to be reported before the line.
        DaySummary daySummaries[kLogKindCount];
        std::size_t daySummaryCount = 0;
    };

    constexpr LogLimiter() noexcept = default;

    // Whether a line of `kind` at `nowMs` (a monotonic millisecond clock)
    // on the local day `day` (YYYYMMDD) may be written.
    [[nodiscard]] Decision Admit(LogKind kind, std::uint64_t nowMs, std::uint32_t day) noexcept;

private:
    struct Window {
        bool open = false;
        std::uint64_t startMs = 0;
        int written = 0;
        std::uint64_t skipped = 0;
    };
    struct Day {
        std::uint32_t day = 0;
        std::uint64_t written = 0;
        std::uint64_t skipped = 0;
    };

    Lock lock_;
    Window windows_[kLogKindCount] = {};
    Day days_[kLogKindCount] = {};
};

}  // namespace vtx
