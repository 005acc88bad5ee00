// Log messages and lines, built in place: a fixed capacity, no allocation,
// never written past; a message too long for a line is cut. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vtx {

class LogText {
public:
    // Longer than any message the library writes (the longest carries a
    // 40-character text from a peer).
    static constexpr std::size_t kCapacity = 320;

    LogText() noexcept { text_[0] = '\0'; }
    explicit LogText(const char* text) noexcept : LogText() { Add(text); }

    LogText& Add(const char* text) noexcept;
    LogText& Add(char unit) noexcept;
    // A number in decimal.
    template <class Integer, std::enable_if_t<std::is_integral_v<Integer>, int> = 0>
    LogText& Add(Integer value) noexcept {
        if constexpr (std::is_signed_v<Integer>) {
            if (value < 0) {
                Add('-');
                return AddDecimal(0u - static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
            }
        }
        return AddDecimal(static_cast<std::uint64_t>(value));
    }
    // A number with at least two digits, '0'-filled like "%02d"; -1 stays "-1".
    LogText& AddTwoDigits(int value) noexcept;
    // A text from outside (a request ID a peer sent) made safe for one line:
    // printable ASCII kept, every other unit shown as '?', at most
    // `maxUnits` of them, "..." when there were more.
    template <class Char>
    LogText& AddLoggable(const Char* units, std::size_t length, std::size_t maxUnits = 40) noexcept {
        for (std::size_t i = 0; i < length && i < maxUnits; ++i) {
            const auto unit = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(units[i]));
            Add(unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?');
        }
        if (length > maxUnits) Add("...");
        return *this;
    }

    const char* CStr() const noexcept { return text_; }
    std::size_t Length() const noexcept { return length_; }

private:
    LogText& AddDecimal(std::uint64_t value) noexcept;

    char text_[kCapacity + 1];
    std::size_t length_ = 0;
};

// Local wall-clock time, broken down. When it could not be read, `converted`
// is false and every field is -1, which the log prints as it is.
struct LogClockReading {
    bool converted;
    int year, month, day, hour, minute, second;  // month 1-12, day 1-31
};

// "[hh:mm:ss] " + message + CR LF, the message bytes unchanged.
class LogLine {
public:
    LogLine(const LogClockReading& reading, const LogText& message) noexcept;
    const char* Data() const noexcept { return line_; }
    std::size_t Length() const noexcept { return length_; }

private:
    // The stamp (two digits per field, or -1 for an unknown time), any
    // message and the line end always fit.
    char line_[LogText::kCapacity + 24];
    std::size_t length_ = 0;
};

// "YYYYMMDD" of the reading, or "19700101" (the day the clock counts from)
// when the time is unknown. `out` has room for 9 characters.
void WriteLogDay(const LogClockReading& reading, char (&out)[9]) noexcept;

}  // namespace vtx
