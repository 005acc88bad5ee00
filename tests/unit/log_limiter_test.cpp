// How many lines of each kind the log writes: five a second and 10,000 a
// day, the rest counted (the portable part of the log).
#include "support/log_limiter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vtx {
namespace {

// The summaries a decision carries, as "<kind name> <count>".
std::vector<std::string> Summaries(const LogLimiter::Decision& decision) {
    std::vector<std::string> summaries;
    for (std::size_t i = 0; i < decision.summaryCount; ++i) {
        summaries.push_back(std::string(LogKindName(decision.summaries[i].kind)) + " " +
                            std::to_string(decision.summaries[i].skipped));
    }
    return summaries;
}

constexpr std::uint32_t kDay = 20250416;

// Five lines a second per kind; the rest of the second is counted, and the
// count comes out once, with the first line of any kind after that second.
TEST(LogLimiter, FiveLinesASecondPerKindTheRestCountedOnce) {
    LogLimiter limiter;
    int admitted = 0;
    for (int i = 0; i < 1000; ++i) {
        const auto decision = limiter.Admit(LogKind::RefusedMessage, 10000 + i / 2, kDay);
        admitted += decision.admitted;
        EXPECT_EQ(decision.summaryCount, 0u) << "the second has not ended yet";
    }
    EXPECT_EQ(admitted, LogLimiter::kLinesPerWindow);
    EXPECT_TRUE(limiter.Admit(LogKind::FailedExport, 10400, kDay).admitted) << "each kind has its own budget";

    // Another kind's line after the second reports the flood, once.
    auto decision = limiter.Admit(LogKind::UnwaitedAnswer, 11000, kDay);
    EXPECT_TRUE(decision.admitted);
    EXPECT_EQ(Summaries(decision),
              std::vector<std::string>{"refused messages " + std::to_string(1000 - LogLimiter::kLinesPerWindow)});
    decision = limiter.Admit(LogKind::RefusedMessage, 11001, kDay);
    EXPECT_TRUE(decision.admitted) << "a new second, a new budget";
    EXPECT_EQ(decision.summaryCount, 0u);

    // A second without excess needs no summary.
    for (int i = 1; i < LogLimiter::kLinesPerWindow; ++i) EXPECT_TRUE(limiter.Admit(LogKind::RefusedMessage, 11002, kDay).admitted);
    EXPECT_FALSE(limiter.Admit(LogKind::RefusedMessage, 11003, kDay).admitted);
    decision = limiter.Admit(LogKind::RefusedMessage, 12001, kDay);
    EXPECT_TRUE(decision.admitted);
    EXPECT_EQ(Summaries(decision), std::vector<std::string>{"refused messages 1"});
}

// One malformed message every 1.2 s: each second that ends without excess
// closes too, so every line is written and no summary claims a loss.
TEST(LogLimiter, ALineNowAndThenIsNeverHeldBack) {
    LogLimiter limiter;
    for (int line = 0; line < 12; ++line) {
        const auto decision = limiter.Admit(LogKind::RefusedMessage, 10000 + line * 1200, kDay);
        EXPECT_TRUE(decision.admitted) << "line " << line;
        EXPECT_EQ(decision.summaryCount, 0u) << "line " << line;
    }
}

// Past its day's bound a kind is counted, not written; the count comes with
// the first line of a later day, and the new day starts a new bound. Lines
// the per-second limit held back were never written: they do not count
// towards the bound, and the day's notice comes with its last written line.
TEST(LogLimiter, TenThousandLinesADayPerKind) {
    LogLimiter limiter;
    std::uint64_t nowMs = 0;
    for (std::uint64_t line = 1; line <= LogLimiter::kLinesPerDay; ++line) {
        const auto decision = limiter.Admit(LogKind::RefusedMessage, nowMs, kDay);
        ASSERT_TRUE(decision.admitted) << line;
        ASSERT_EQ(decision.dayBoundReached, line == LogLimiter::kLinesPerDay) << line;
        if (line % LogLimiter::kLinesPerWindow != 0 || line == LogLimiter::kLinesPerDay) continue;
        const auto heldBack = limiter.Admit(LogKind::RefusedMessage, nowMs, kDay);
        ASSERT_FALSE(heldBack.admitted || heldBack.dayBoundReached) << line;
        nowMs += LogLimiter::kWindowMs;
    }
    EXPECT_FALSE(limiter.Admit(LogKind::RefusedMessage, nowMs += 250, kDay).admitted);
    EXPECT_FALSE(limiter.Admit(LogKind::RefusedMessage, nowMs += 250, kDay).admitted);
    EXPECT_TRUE(limiter.Admit(LogKind::FailedExport, nowMs += 250, kDay).admitted) << "each kind has its own";

    const auto nextDay = limiter.Admit(LogKind::FailedExport, nowMs += 250, kDay + 1);
    EXPECT_TRUE(nextDay.admitted);
    ASSERT_EQ(nextDay.daySummaryCount, 1u);
    EXPECT_EQ(nextDay.daySummaries[0].kind, LogKind::RefusedMessage);
    EXPECT_EQ(nextDay.daySummaries[0].day, kDay);
    EXPECT_EQ(nextDay.daySummaries[0].skipped, 2u);
    EXPECT_TRUE(limiter.Admit(LogKind::RefusedMessage, nowMs += 250, kDay + 1).admitted) << "a new day, a new bound";
}

}  // namespace
}  // namespace vtx
