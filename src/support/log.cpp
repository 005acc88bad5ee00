#include "support/log.h"

#include <windows.h>

#include <atomic>

#include "support/sync.h"
#include "support/unique_handle.h"

namespace vtx {
namespace {

constexpr wchar_t kLogFolder[] = L"C:\\vantix\\log\\vc";
// Room for the log's path: the fixed folder, or a test's.
constexpr std::size_t kPathCapacity = 1024;

std::atomic<LogClock> g_clock{nullptr};

// Serialises the writers of this process, so the folder check, the file and
// the line always belong to one call. Other processes are kept apart by
// AppendLock around the single append-mode write.
Lock g_writers;

// Which lines of the kinds a peer can repeat at will are written.
LogLimiter g_limiter;

// Writers of other processes are kept apart by a lock on one byte far beyond
// any log's end, held for a single write. An append-only handle makes each
// write whole on Windows, but not everywhere the library runs: Wine finds the
// end and writes there in two steps, and two processes meeting between them
// overwrite one line with another. A writer that keeps the lock longer than
// the bound (hung mid-write) does not hold the host: the line is written
// without it.
constexpr std::uint64_t kAppendLockBoundMs = 100;
constexpr DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;

class AppendLock {
public:
    explicit AppendLock(HANDLE file) : file_(file) {
        const std::uint64_t deadline = MonotonicMs() + kAppendLockBoundMs;
        for (;;) {
            OVERLAPPED range = Range();
            if (::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
                locked_ = true;
                return;
            }
            // Anything but "held by another" (a file system without locks)
            // will not change by waiting.
            if (::GetLastError() != ERROR_LOCK_VIOLATION || MonotonicMs() >= deadline) return;
            ::Sleep(0);
        }
    }
    ~AppendLock() {
        if (!locked_) return;
        OVERLAPPED range = Range();
        ::UnlockFileEx(file_, 0, 1, 0, &range);
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

private:
    static OVERLAPPED Range() {
        OVERLAPPED range{};
        range.OffsetHigh = kAppendLockOffsetHigh;
        return range;
    }

    HANDLE file_;
    bool locked_ = false;
};

// Whether a folder on the way to `path` is a reparse point (a symbolic link,
// a junction, a mount point): lines written through one would land in
// whatever file it leads to.
bool PassesThroughReparsePoint(const wchar_t* path) {
    wchar_t folder[kPathCapacity];
    for (std::size_t i = 0; path[i] != L'\0' && i + 1 < kPathCapacity; ++i) {
        if ((path[i] == L'\\' || path[i] == L'/') && i > 0 && path[i - 1] != L':' && path[i - 1] != L'\\') {
            folder[i] = L'\0';
            const DWORD attributes = ::GetFileAttributesW(folder);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
        }
        folder[i] = path[i];
    }
    return false;
}

// The day's log file, opened for appending, if it is a plain file of its
// folder: not reached through a reparse point, not one itself, and not a
// second name (a hard link) of another file. An elevated host would
// otherwise append to, or create, any file a link points at. Null when
// the line is to be skipped.
UniqueFile OpenPlainLogFile(const wchar_t* path) {
    wchar_t full[kPathCapacity];
    const DWORD length = ::GetFullPathNameW(path, kPathCapacity, full, nullptr);
    if (length == 0 || length >= kPathCapacity || PassesThroughReparsePoint(full)) return UniqueFile(nullptr);
    // Appending only (no FILE_WRITE_DATA): every write goes to the end. Read
    // access is what a byte-range lock asks for. A link is opened as itself,
    // not followed, so that it can be told apart.
    UniqueFile file(::CreateFileW(full, FILE_APPEND_DATA | FILE_READ_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !::GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || information.nNumberOfLinks != 1) {
        return UniqueFile(nullptr);
    }
    return file;
}

// Appends `text` to the path being built in `out`; false when it does not fit.
bool AppendPath(wchar_t* out, std::size_t capacity, std::size_t& length, const wchar_t* text) {
    for (; *text != L'\0'; ++text) {
        if (length + 1 >= capacity) return false;
        out[length++] = *text;
    }
    out[length] = L'\0';
    return true;
}

}  // namespace

LogClockReading ReadLocalClock() noexcept {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return {true, local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

void SetLogClockForTesting(LogClock clock) noexcept { g_clock.store(clock); }

namespace {
LogClockReading CurrentReading() {
    const LogClock clock = g_clock.load();
    return clock ? clock() : ReadLocalClock();
}
}  // namespace

bool LogFilePath(const wchar_t* folder, bool folderUsable, const LogClockReading& reading, wchar_t* out,
                 std::size_t capacity) noexcept {
    char day[9];
    WriteLogDay(reading, day);
    wchar_t name[16] = {};
    for (std::size_t i = 0; i < 8; ++i) name[i] = static_cast<wchar_t>(day[i]);
    std::size_t length = 0;
    if (capacity == 0) return false;
    out[0] = L'\0';
    // Without the folder the line is still kept, in the host's current
    // directory, rather than lost.
    if (folderUsable && !(AppendPath(out, capacity, length, folder) && AppendPath(out, capacity, length, L"\\bridge_"))) {
        return false;
    }
    return AppendPath(out, capacity, length, name) && AppendPath(out, capacity, length, L".log");
}

void WriteLogTo(const wchar_t* folder, const LogClockReading& reading, const LogText& message) noexcept {
    const LogLine line(reading, message);
    LockHold hold(g_writers);
    // Only the last level is created: a machine without the parent folder
    // was never set up for logging there, so the fallback name is used.
    // Tried on every call, as the folder may appear or vanish meanwhile.
    const bool folderUsable = ::CreateDirectoryW(folder, nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
    wchar_t path[kPathCapacity];
    if (!LogFilePath(folder, folderUsable, reading, path, kPathCapacity)) return;
    const UniqueFile file = OpenPlainLogFile(path);
    if (!file) return;
    // One write per line, placed whole at the end, so lines of other
    // processes never land inside it.
    const AppendLock appending(file.get());
    DWORD written = 0;
    ::WriteFile(file.get(), line.Data(), static_cast<DWORD>(line.Length()), &written, nullptr);
}

void WriteLog(const LogText& message) noexcept { WriteLogTo(kLogFolder, CurrentReading(), message); }

void WriteLimitedLog(LogKind kind, const LogText& message) noexcept {
    const LogClockReading reading = CurrentReading();
    const std::uint32_t day =
        reading.converted ? static_cast<std::uint32_t>(reading.year * 10000 + reading.month * 100 + reading.day)
                          : 19700101u;
    const LogLimiter::Decision decision = g_limiter.Admit(kind, MonotonicMs(), day);
    for (std::size_t i = 0; i < decision.daySummaryCount; ++i) {
        const LogLimiter::DaySummary& summary = decision.daySummaries[i];
        WriteLogTo(kLogFolder, reading,
                   LogText("[WriteLog] ").Add(summary.skipped).Add(" more ").Add(LogKindName(summary.kind))
                       .Add(" were not written on ").Add(summary.day).Add(", past the day's ")
                       .Add(LogLimiter::kLinesPerDay).Add("."));
    }
    for (std::size_t i = 0; i < decision.summaryCount; ++i) {
        const LogLimiter::Summary& summary = decision.summaries[i];
        WriteLogTo(kLogFolder, reading,
                   LogText("[WriteLog] ").Add(summary.skipped).Add(" more ").Add(LogKindName(summary.kind))
                       .Add(" within one second were not written."));
    }
    if (!decision.admitted) return;
    WriteLogTo(kLogFolder, reading, message);
    if (decision.dayBoundReached) {
        WriteLogTo(kLogFolder, reading,
                   LogText("[WriteLog] That was today's ").Add(LogLimiter::kLinesPerDay).Add("th line of ")
                       .Add(LogKindName(kind)).Add(": the rest of the day's are counted, not written."));
    }
}

}  // namespace vtx
