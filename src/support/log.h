// The library's daily log: one file per local day, one line per event, shared
// by every process of the host that loads the library. Writing never fails
// visibly: a line that cannot be written is dropped.
#pragma once

#include <cstddef>

#include "support/log_limiter.h"
#include "support/log_text.h"

namespace vtx {

// The log's folder. Only its last level is ever made: a machine without
// its parent was never set up for logging there, and lines go to the
// current directory instead. vtxcli diagnose examines the same folder.
inline constexpr wchar_t kLogFolder[] = L"C:\\vantix\\log\\vc";

// Reads the local wall-clock time once (for the stamp and the file's day;
// no wait or deadline of the library reads the wall clock).
LogClockReading ReadLocalClock() noexcept;

// The clock WriteLog reads: ReadLocalClock (system_seams.cpp). The unit
// tests link a clock of their own in its place.
LogClockReading LogClockNow() noexcept;

// Appends "[hh:mm:ss] message" to today's log.
void WriteLog(const LogText& message) noexcept;
inline void WriteLog(const char* message) noexcept { WriteLog(LogText(message)); }

// WriteLog through the library's limiter (support/log_limiter.h) and the
// monotonic clock.
void WriteLimitedLog(LogKind kind, const LogText& message) noexcept;

// The file a line goes to: "<folder>\bridge_YYYYMMDD.log" when the folder is
// usable, otherwise "YYYYMMDD.log" in the current directory. False when the
// path does not fit `out` (`capacity` units, terminator included).
[[nodiscard]] bool LogFilePath(const wchar_t* folder, bool folderUsable, const LogClockReading& reading,
                               wchar_t* out, std::size_t capacity) noexcept;

// WriteLog with the folder and the time given.
void WriteLogTo(const wchar_t* folder, const LogClockReading& reading, const LogText& message) noexcept;

}  // namespace vtx
