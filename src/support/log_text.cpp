#include "support/log_text.h"

namespace vtx {

LogText& LogText::Add(const char* text) noexcept {
    while (*text != '\0' && length_ < kCapacity) text_[length_++] = *text++;
    text_[length_] = '\0';
    return *this;
}

LogText& LogText::Add(char unit) noexcept {
    if (length_ < kCapacity) text_[length_++] = unit;
    text_[length_] = '\0';
    return *this;
}

LogText& LogText::AddDecimal(std::uint64_t value) noexcept {
    char digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count != 0) Add(digits[--count]);
    return *this;
}

LogText& LogText::AddTwoDigits(int value) noexcept {
    if (value >= 0 && value < 10) Add('0');
    return Add(value);
}

LogLine::LogLine(const LogClockReading& reading, const LogText& message) noexcept {
    LogText stamp;
    stamp.Add('[').AddTwoDigits(reading.hour).Add(':').AddTwoDigits(reading.minute).Add(':');
    stamp.AddTwoDigits(reading.second).Add("] ");
    const auto append = [this](const char* text, std::size_t length) {
        for (std::size_t i = 0; i < length && length_ + 1 < sizeof(line_); ++i) line_[length_++] = text[i];
    };
    append(stamp.CStr(), stamp.Length());
    append(message.CStr(), message.Length());
    append("\r\n", 2);
    line_[length_] = '\0';
}

void WriteLogDay(const LogClockReading& reading, char (&out)[9]) noexcept {
    LogText day;
    if (reading.converted) {
        day.Add(reading.year).AddTwoDigits(reading.month).AddTwoDigits(reading.day);
    } else {
        day.Add("19700101");
    }
    std::size_t i = 0;
    for (; i < 8 && day.CStr()[i] != '\0'; ++i) out[i] = day.CStr()[i];
    out[i] = '\0';
}

}  // namespace vtx
