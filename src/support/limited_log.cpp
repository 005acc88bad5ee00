#include "support/limited_log.h"

#include <windows.h>

#include "support/log.h"

namespace vtx {
namespace {

const char* NameOf(std::size_t kind) {
    switch (static_cast<LogKind>(kind)) {
        case LogKind::FailedExport:
            return "failed calls";
        case LogKind::RefusedMessage:
            return "refused messages";
        case LogKind::UnwaitedAnswer:
            return "answers nobody waited for";
    }
    return "lines";
}

LogLimiter& TheLimiter() {
    static LogLimiter limiter;
    return limiter;
}

}  // namespace

void LogLimiter::CloseEnded(std::uint64_t nowMs, std::vector<std::string>& summaries) {
    for (std::size_t kind = 0; kind < kLogKindCount; ++kind) {
        Window& window = windows_[kind];
        if (!window.open || nowMs - window.startMs < kWindowMs) continue;
        if (window.skipped != 0) {
            summaries.push_back("[WriteLog] " + std::to_string(window.skipped) + " more " + NameOf(kind) +
                                " within one second were not written.");
        }
        window = Window{};
    }
}

bool LogLimiter::Admit(LogKind kind, std::uint64_t nowMs, std::vector<std::string>& summaries) {
    const LockHold hold(lock_);
    CloseEnded(nowMs, summaries);
    Window& window = windows_[static_cast<std::size_t>(kind)];
    if (!window.open) {
        window.open = true;
        window.startMs = nowMs;
    }
    if (window.written < kLinesPerWindow) {
        ++window.written;
        return true;
    }
    ++window.skipped;
    return false;
}

void WriteLimitedLog(LogKind kind, const std::string& message) noexcept {
    try {
        std::vector<std::string> summaries;
        const bool admitted = TheLimiter().Admit(kind, ::GetTickCount64(), summaries);
        for (const std::string& summary : summaries) WriteLog(summary);
        if (admitted) WriteLog(message);
    } catch (...) {
        // Logging must never be the reason the host fails.
    }
}

}  // namespace vtx
