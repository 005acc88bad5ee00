#include "support/log.h"

#include <windows.h>

#include "support/log_file.h"
#include "support/sync.h"
#include "support/unique_handle.h"

namespace vtx {
namespace {

// Serialises the writers of this process, so the folder, the file and the
// line always belong to one call. Other processes are kept apart by
// AppendLock around the single append-mode write.
Lock g_writers;

// Which lines of the kinds a peer or another process can repeat at will are
// written.
LogLimiter g_limiter;

// Writers of other processes are kept apart by a lock on one byte far beyond
// any log's end, held for a single write. An append-only handle makes each
// write whole on Windows, but not everywhere the library runs: Wine finds the
// end and writes there in two steps, and two processes meeting between them
// overwrite one line with another.
//
// Any process that can read the file can take that byte too, and keep it.
// So a writer waits for it once, at most kAppendLockBoundMs, and when it is
// still held then, the lines of the next kWithoutLockMs are written without
// it: each tries it once and does not wait. A foreign holder thus costs the
// host one bounded wait every kWithoutLockMs, and never a wait per line
// under the writers' lock.
constexpr std::uint64_t kAppendLockBoundMs = 50;
constexpr std::uint64_t kWithoutLockMs = 10000;
constexpr std::uint32_t kAppendLockPollMs = 1;
constexpr DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;

// Until when lines are written without waiting for the lock (g_writers).
std::uint64_t g_noLockWaitUntilMs = 0;

class AppendLock {
public:
    explicit AppendLock(HANDLE file) : file_(file) {
        if (TryLock() || ::GetLastError() != ERROR_LOCK_VIOLATION) return;
        // Anything but "held by another" (a file system without locks) will
        // not change by waiting; nor is it waited for while it was held past
        // the bound lately.
        const std::uint64_t start = MonotonicMs();
        if (start < g_noLockWaitUntilMs) return;
        for (std::uint64_t now = start; now - start < kAppendLockBoundMs; now = MonotonicMs()) {
            ::Sleep(kAppendLockPollMs);
            if (TryLock() || ::GetLastError() != ERROR_LOCK_VIOLATION) return;
        }
        g_noLockWaitUntilMs = MonotonicMs() + kWithoutLockMs;
        gaveUp_ = true;
    }
    ~AppendLock() {
        if (!locked_) return;
        OVERLAPPED range = Range();
        ::UnlockFileEx(file_, 0, 1, 0, &range);
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

    // The bounded wait ran out: the lines of the next while go without it.
    bool GaveUp() const { return gaveUp_; }

private:
    static OVERLAPPED Range() {
        OVERLAPPED range{};
        range.OffsetHigh = kAppendLockOffsetHigh;
        return range;
    }
    bool TryLock() {
        OVERLAPPED range = Range();
        locked_ = ::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range) != FALSE;
        return locked_;
    }

    HANDLE file_;
    bool locked_ = false;
    bool gaveUp_ = false;
};

// Appends `text` to the path being built in `out`; false when it does not fit.
bool AppendPath(wchar_t* out, std::size_t capacity, std::size_t& length, const wchar_t* text) {
    for (; *text != L'\0'; ++text) {
        if (length + 1 >= capacity) return false;
        out[length++] = *text;
    }
    out[length] = L'\0';
    return true;
}

// The day's file name: "bridge_YYYYMMDD.log" in the log's folder,
// "YYYYMMDD.log" in the current directory.
void LogFileName(bool inLogFolder, const LogClockReading& reading, wchar_t (&name)[24]) {
    char day[9];
    WriteLogDay(reading, day);
    std::size_t length = 0;
    if (inLogFolder) {
        for (const wchar_t* prefix = L"bridge_"; *prefix != L'\0'; ++prefix) name[length++] = *prefix;
    }
    for (std::size_t i = 0; day[i] != '\0'; ++i) name[length++] = static_cast<wchar_t>(day[i]);
    for (const wchar_t* extension = L".log"; *extension != L'\0'; ++extension) name[length++] = *extension;
    name[length] = L'\0';
}

// Appends one line; true when another process held the append lock past
// its bound, so that the caller says so (once: the next lines do not wait).
bool WriteLine(const wchar_t* folder, const LogClockReading& reading, const LogText& message) {
    const LogLine line(reading, message);
    LockHold hold(g_writers);
    // Only the last level is made: a machine without the parent folder was
    // never set up for logging there, and the line goes to the current
    // directory instead. Tried on every call, as the folder may appear or
    // vanish meanwhile.
    LogFolder state = LogFolder::Absent;
    UniqueFile place = OpenPlainFolder(folder, true, state);
    const bool inLogFolder = state == LogFolder::Ready;
    if (state == LogFolder::Refused) return false;
    if (!inLogFolder) place = OpenPlainFolder(L".", false, state);
    if (!place) return false;
    wchar_t name[24];
    LogFileName(inLogFolder, reading, name);
    const UniqueFile file = OpenPlainFileToAppend(place.get(), name);
    if (!file) return false;
    // One write per line, placed whole at the end, so lines of other
    // processes never land inside it.
    const AppendLock appending(file.get());
    DWORD written = 0;
    ::WriteFile(file.get(), line.Data(), static_cast<DWORD>(line.Length()), &written, nullptr);
    return appending.GaveUp();
}

void WriteLimitedLogTo(const wchar_t* folder, const LogClockReading& reading, LogKind kind, const LogText& message);

// WriteLine, and the one notice when the append lock was given up.
void WriteLineAndNotice(const wchar_t* folder, const LogClockReading& reading, const LogText& message) {
    if (!WriteLine(folder, reading, message)) return;
    WriteLimitedLogTo(folder, reading, LogKind::HeldLogLock,
                      LogText("[WriteLog] Another process held the log's lock past ")
                          .Add(kAppendLockBoundMs)
                          .Add(" ms: for ")
                          .Add(kWithoutLockMs / 1000)
                          .Add(" s lines are written without waiting for it."));
}

void WriteLimitedLogTo(const wchar_t* folder, const LogClockReading& reading, LogKind kind, const LogText& message) {
    const std::uint32_t day =
        reading.converted ? static_cast<std::uint32_t>(reading.year * 10000 + reading.month * 100 + reading.day)
                          : 19700101u;
    const LogLimiter::Decision decision = g_limiter.Admit(kind, MonotonicMs(), day);
    for (std::size_t i = 0; i < decision.daySummaryCount; ++i) {
        const LogLimiter::DaySummary& summary = decision.daySummaries[i];
        WriteLineAndNotice(folder, reading,
                           LogText("[WriteLog] ").Add(summary.skipped).Add(" more ").Add(LogKindName(summary.kind))
                               .Add(" were not written on ").Add(summary.day).Add(", past the day's ")
                               .Add(LogLimiter::kLinesPerDay).Add("."));
    }
    for (std::size_t i = 0; i < decision.summaryCount; ++i) {
        const LogLimiter::Summary& summary = decision.summaries[i];
        WriteLineAndNotice(folder, reading,
                           LogText("[WriteLog] ").Add(summary.skipped).Add(" more ").Add(LogKindName(summary.kind))
                               .Add(" within one second were not written."));
    }
    if (!decision.admitted) return;
    WriteLineAndNotice(folder, reading, message);
    if (decision.dayBoundReached) {
        WriteLineAndNotice(folder, reading,
                           LogText("[WriteLog] That was today's ").Add(LogLimiter::kLinesPerDay).Add("th line of ")
                               .Add(LogKindName(kind)).Add(": the rest of the day's are counted, not written."));
    }
}

}  // namespace

LogClockReading ReadLocalClock() noexcept {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return {true, local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

bool LogFilePath(const wchar_t* folder, bool folderUsable, const LogClockReading& reading, wchar_t* out,
                 std::size_t capacity) noexcept {
    wchar_t name[24];
    LogFileName(folderUsable, reading, name);
    std::size_t length = 0;
    if (capacity == 0) return false;
    out[0] = L'\0';
    // Without the folder the line is still kept, in the host's current
    // directory, rather than lost.
    if (folderUsable && !(AppendPath(out, capacity, length, folder) && AppendPath(out, capacity, length, L"\\"))) {
        return false;
    }
    return AppendPath(out, capacity, length, name);
}

void WriteLogTo(const wchar_t* folder, const LogClockReading& reading, const LogText& message) noexcept {
    WriteLineAndNotice(folder, reading, message);
}

void WriteLog(const LogText& message) noexcept { WriteLogTo(kLogFolder, LogClockNow(), message); }

void WriteLimitedLog(LogKind kind, const LogText& message) noexcept {
    WriteLimitedLogTo(kLogFolder, LogClockNow(), kind, message);
}

}  // namespace vtx
