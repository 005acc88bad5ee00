// Log messages and lines: the portable part of the log.
#include "support/log_text.h"

#include <gtest/gtest.h>

#include <string>

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
