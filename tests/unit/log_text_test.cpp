// Log messages, lines and their limits: the portable part of the log.
#include "support/log_limiter.h"
#include "support/log_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vtx {
namespace {

constexpr LogClockReading kMorning = {true, 2025, 4, 16, 9, 5, 7};
constexpr LogClockReading kUnconverted = {false, -1, -1, -1, -1, -1, -1};

std::string LineOf(const LogClockReading& reading, const char* message) {
    const LogLine line(reading, LogText(message));
    return std::string(line.Data(), line.Length());
}

TEST(LogLine, StampAndMessageBytes) {
    const struct {
        LogClockReading reading;
        const char* message;
        std::string line;
    } cases[] = {
        {kMorning, "message", "[09:05:07] message\r\n"},
        {{true, 2025, 3, 1, 7, 3, 9}, "x", "[07:03:09] x\r\n"},
        {{true, 2025, 12, 31, 23, 59, 59}, "late", "[23:59:59] late\r\n"},
        {{true, 2025, 1, 1, 0, 0, 0}, "", "[00:00:00] \r\n"},
        {kUnconverted, "no clock", "[-1:-1:-1] no clock\r\n"},
        {kMorning, "two\nlines", "[09:05:07] two\nlines\r\n"},
        {kMorning, "\xC7\xD1", "[09:05:07] \xC7\xD1\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(LineOf(c.reading, c.message), c.line) << c.line;

    // A message too long for a line is cut, and the line still ends.
    const std::string longest(LogText::kCapacity + 50, 'm');
    const std::string line = LineOf(kMorning, longest.c_str());
    EXPECT_EQ(line, "[09:05:07] " + std::string(LogText::kCapacity, 'm') + "\r\n");
}

TEST(LogText, NumbersAndTheDay) {
    EXPECT_STREQ(LogText("n=").Add(0).Add(' ').Add(-2147483647 - 1).Add(' ').Add(18446744073709551615ull).CStr(),
                 "n=0 -2147483648 18446744073709551615");
    EXPECT_STREQ(LogText().AddTwoDigits(7).AddTwoDigits(12).AddTwoDigits(-1).CStr(), "0712-1");
    char day[9];
    WriteLogDay({true, 987, 1, 2, 0, 0, 0}, day);
    EXPECT_STREQ(day, "9870102") << "the year is never padded";
    WriteLogDay(kUnconverted, day);
    EXPECT_STREQ(day, "19700101");
}

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
    EXPECT_EQ(admitted, 5);
    EXPECT_TRUE(limiter.Admit(LogKind::FailedExport, 10400, kDay).admitted) << "each kind has its own budget";

    // Another kind's line after the second reports the flood, once.
    auto decision = limiter.Admit(LogKind::UnwaitedAnswer, 11000, kDay);
    EXPECT_TRUE(decision.admitted);
    EXPECT_EQ(Summaries(decision), std::vector<std::string>{"refused messages 995"});
    decision = limiter.Admit(LogKind::RefusedMessage, 11001, kDay);
    EXPECT_TRUE(decision.admitted) << "a new second, a new budget";
    EXPECT_EQ(decision.summaryCount, 0u);

    // A second without excess needs no summary.
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(limiter.Admit(LogKind::RefusedMessage, 11002, kDay).admitted);
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
// the first line of a later day, and the new day starts a new bound.
TEST(LogLimiter, TenThousandLinesADayPerKind) {
    LogLimiter limiter;
    std::uint64_t nowMs = 0;
    for (std::uint64_t line = 1; line <= LogLimiter::kLinesPerDay; ++line, nowMs += 250) {
        const auto decision = limiter.Admit(LogKind::RefusedMessage, nowMs, kDay);
        ASSERT_TRUE(decision.admitted) << line;
        ASSERT_EQ(decision.dayBoundReached, line == LogLimiter::kLinesPerDay) << line;
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

template <class Char>
std::string LoggableText(const std::basic_string<Char>& text) {
    return LogText().AddLoggable(text.data(), text.size()).CStr();
}

// A peer's request ID goes into a log line: nothing in it may start a new
// line or break the file's text.
TEST(LogText, TextsFromOutsideAreMadeSafeForOneLine) {
    EXPECT_EQ(LoggableText(std::string("{abc-123}")), "{abc-123}");
    EXPECT_EQ(LoggableText(std::string("a\r\nb\x01\xC3\xA9")), "a??b???");
    EXPECT_EQ(LoggableText(std::u16string(u"id\u00E9\uD55C")), "id??");
    EXPECT_EQ(LoggableText(std::string(100, 'x')), std::string(40, 'x') + "...");
    EXPECT_EQ(LoggableText(std::string("nul\0inside", 10)), "nul?inside");
}

}  // namespace
}  // namespace vtx
