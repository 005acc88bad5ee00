#include "support/log_limiter.h"

namespace vtx {

const char* LogKindName(LogKind kind) noexcept {
    switch (kind) {
        case LogKind::FailedExport:
            return "failed calls";
        case LogKind::RefusedMessage:
            return "refused messages";
        case LogKind::UnwaitedAnswer:
            return "answers nobody waited for";
        case LogKind::SkippedPeer:
            return "windows not taken for the peer";
        case LogKind::PeerNotFound:
            return "sends that found no peer";
        case LogKind::HeldLogLock:
            return "notices of a held log lock";
    }
    return "lines";
}

LogLimiter::Decision LogLimiter::Admit(LogKind kind, std::uint64_t nowMs, std::uint32_t day) noexcept {
    Decision decision;
    LockHold hold(lock_);
    for (std::size_t each = 0; each < kLogKindCount; ++each) {
        Day& today = days_[each];
        if (today.day != day) {
            if (today.skipped != 0) {
                decision.daySummaries[decision.daySummaryCount++] =
                    DaySummary{static_cast<LogKind>(each), today.day, today.skipped};
            }
            today = Day{day, 0, 0};
        }
        Window& window = windows_[each];
        if (!window.open || nowMs - window.startMs < kWindowMs) continue;
        if (window.skipped != 0) {
            decision.summaries[decision.summaryCount++] = Summary{static_cast<LogKind>(each), window.skipped};
        }
        window = Window{};
    }
    Day& today = days_[static_cast<std::size_t>(kind)];
    if (today.written >= kLinesPerDay) {
        ++today.skipped;
        return decision;
    }
    Window& window = windows_[static_cast<std::size_t>(kind)];
    if (!window.open) {
        window.open = true;
        window.startMs = nowMs;
    }
    if (window.written < kLinesPerWindow) {
        ++window.written;
        decision.admitted = true;
        decision.dayBoundReached = ++today.written == kLinesPerDay;
    } else {
        ++window.skipped;
    }
    return decision;
}

}  // namespace vtx
