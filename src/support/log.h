// The library's daily log: one file per local day, one line per event, shared
// by every process of the host that loads the library.
#pragma once

#include <string>

namespace vtx {

// Local wall-clock time, broken down. When the conversion failed, `converted`
// is false and every field is -1, which the log prints as it is.
struct LogClockReading {
    bool converted;
    int year, month, day, hour, minute, second;  // month 1-12, day 1-31
};
using LogClock = LogClockReading (*)();

// Reads the system time once and converts it to local time.
LogClockReading ReadLocalClock() noexcept;

// Replaces the clock WriteLog reads; nullptr restores ReadLocalClock.
void SetLogClockForTesting(LogClock clock) noexcept;

// Appends "[hh:mm:ss] message" to today's log. Never fails visibly: a line that
// cannot be written is dropped.
void WriteLog(const std::string& message) noexcept;

// The file a line goes to: "<folder>\bridge_YYYYMMDD.log" when the folder is
// usable, otherwise "YYYYMMDD.log" in the current directory.
std::wstring LogFilePath(const std::wstring& folder, bool folderUsable, const LogClockReading& reading) noexcept;

// "[hh:mm:ss] " + message + CR LF, the message bytes unchanged.
std::string LogLine(const LogClockReading& reading, const std::string& message) noexcept;

// WriteLog with the folder and the time given.
void WriteLogTo(const std::wstring& folder, const LogClockReading& reading, const std::string& message) noexcept;

}  // namespace vtx
