#include "support/log.h"

#include <windows.h>

#include <time.h>

#include <atomic>

#include "support/sync.h"
#include "support/unique_handle.h"

namespace vtx {

namespace {

constexpr wchar_t kLogFolder[] = L"C:\\vantix\\log\\vc";
// The name used when the local time is unknown: the day the clock counts from.
constexpr wchar_t kUnknownDayName[] = L"19700101.log";

std::atomic<LogClock> g_clock{nullptr};

// Serialises the writers of this process, so the folder check, the file and
// the line always belong to one call. Other processes are kept apart by
// AppendLock around the single append-mode write.
Lock& LogMutex() {
    static Lock lock;
    return lock;
}

// Writers of other processes are kept apart by a lock on one byte far beyond
// any log's end, held for a single write. An append-only handle makes each
// write whole on Windows, but not everywhere the library runs: Wine finds the
// end and writes there in two steps, and two processes meeting between them
// overwrite one line with another. A writer that keeps the lock longer than
// the bound (hung mid-write) does not hold the host: the line is written
// without it.
constexpr DWORD kAppendLockBoundMs = 100;
constexpr DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;

class AppendLock {
public:
    explicit AppendLock(HANDLE file) : file_(file) {
        const ULONGLONG deadline = ::GetTickCount64() + kAppendLockBoundMs;
        for (;;) {
            OVERLAPPED range = Range();
            if (::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
                locked_ = true;
                return;
            }
            // Anything but "held by another" (a file system without locks)
            // will not change by waiting.
            if (::GetLastError() != ERROR_LOCK_VIOLATION || ::GetTickCount64() >= deadline) return;
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

// Like "%02d": at least two characters, '0'-filled; -1 stays "-1".
std::string TwoWide(int value) {
    std::string text = std::to_string(value);
    if (text.size() < 2) text.insert(0, 1, '0');
    return text;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

LogClockReading ReadLocalClock() noexcept {
    const __time64_t now = ::_time64(nullptr);
    struct tm local = {};
    if (::_localtime64_s(&local, &now) != 0) {
        // Every field -1 whatever the runtime left behind, so the stamp is the
        // same on every platform.
        return {false, -1, -1, -1, -1, -1, -1};
    }
    return {true, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

void SetLogClockForTesting(LogClock clock) noexcept { g_clock.store(clock); }

std::wstring LogFilePath(const std::wstring& folder, bool folderUsable, const LogClockReading& reading) noexcept {
    try {
        const std::wstring name =
            reading.converted
                ? Widen(std::to_string(reading.year) + TwoWide(reading.month) + TwoWide(reading.day)) + L".log"
                : std::wstring(kUnknownDayName);
        // Without the folder the line is still kept, in the host's current
        // directory, rather than lost.
        return folderUsable ? folder + L"\\bridge_" + name : name;
    } catch (...) {
        return {};
    }
}

std::string LogLine(const LogClockReading& reading, const std::string& message) noexcept {
    try {
        std::string line;
        line.reserve(message.size() + 13);
        line += '[';
        line += TwoWide(reading.hour);
        line += ':';
        line += TwoWide(reading.minute);
        line += ':';
        line += TwoWide(reading.second);
        line += "] ";
        line += message;
        line += "\r\n";
        return line;
    } catch (...) {
        return {};
    }
}

void WriteLogTo(const std::wstring& folder, const LogClockReading& reading, const std::string& message) noexcept {
    try {
        const std::string line = LogLine(reading, message);
        if (line.empty() || line.size() > MAXDWORD) return;

        const LockHold hold(LogMutex());
        // Only the last level is created: a machine without the parent folder
        // was never set up for logging there, so the fallback name is used.
        // Tried on every call, as the folder may appear or vanish meanwhile.
        const bool folderUsable =
            ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
        const std::wstring path = LogFilePath(folder, folderUsable, reading);
        if (path.empty()) return;

        // Appending only (no FILE_WRITE_DATA): every write goes to the end.
        // Read access is what a byte-range lock asks for.
        const UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
        // One write per line, placed whole at the end, so lines of other
        // processes never land inside it.
        const AppendLock appending(file.get());
        DWORD written = 0;
        ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (...) {
        // Logging must never be the reason the host fails.
    }
}

void WriteLog(const std::string& message) noexcept {
    try {
        const LogClock clock = g_clock.load();
        WriteLogTo(kLogFolder, clock ? clock() : ReadLocalClock(), message);
    } catch (...) {
    }
}

}  // namespace vtx
