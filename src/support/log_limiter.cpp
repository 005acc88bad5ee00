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
    }
    return "lines";
}

LogLimiter::Decision LogLimiter::Admit(LogKind kind, std::uint64_t nowMs) noexcept {
    Decision decision;
    LockHold hold(lock_);
    for (std::size_t each = 0; each < kLogKindCount; ++each) {
        Window& window = windows_[each];
        if (!window.open || nowMs - window.startMs < kWindowMs) continue;
        if (window.skipped != 0) {
            decision.summaries[decision.summaryCount++] = Summary{static_cast<LogKind>(each), window.skipped};
        }
        window = Window{};
    }
    Window& window = windows_[static_cast<std::size_t>(kind)];
    if (!window.open) {
        window.open = true;
        window.startMs = nowMs;
    }
    if (window.written < kLinesPerWindow) {
        ++window.written;
        decision.admitted = true;
    } else {
        ++window.skipped;
    }
    return decision;
}

}  // namespace vtx
