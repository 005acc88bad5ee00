// Part 4 of the diagnosis: the library's log folder and today's file. Read
// only: whether the folder can be written is asked of the system by opening
// it for adding a file, which writes nothing.
#include <cstdio>
#include <string_view>

#include "common/text_conversion.h"
#include "diagnosis.h"
#include "support/unique_handle.h"

namespace vtx::cli {
namespace {

// The kinds as the log's summaries name them, and as the JSON report does.
constexpr std::string_view kKindNames[kCountedKinds] = {"failed calls",
                                                        "refused messages",
                                                        "answers nobody waited for",
                                                        "windows not taken for the peer",
                                                        "sends that found no peer",
                                                        "notices of a held log lock"};
constexpr const char* kKindKeys[kCountedKinds] = {"failedCalls",    "refusedMessages",  "unwaitedAnswers",
                                                  "skippedWindows", "sendsWithoutPeer", "heldLogLock"};

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// The kind of a line by the text it starts with (after "[hh:mm:ss] "), as
// the library's callers of WriteLimitedLog write it; -1 for other lines. A
// failed call's line starts with the export's name: "[vtx_login] Not
// delivered (6): ...".
int KindOfMessage(std::string_view message) {
    if (StartsWith(message, "[vtx") && (message.find("] Not delivered (6): ") != std::string_view::npos ||
                                        message.find("] Timed out (14): ") != std::string_view::npos)) {
        return 0;
    }
    if (StartsWith(message, "[BridgeWindowProc] Refused message ") ||
        StartsWith(message, "[PushServerRequest] Server request queue is full")) {
        return 1;
    }
    if (StartsWith(message, "[StoreResponse] Dropped an answer nobody waited for: ")) return 2;
    if (StartsWith(message, "[SendMessageCopyData] Skipped a VantixConnect window of process ") ||
        StartsWith(message, "[SendMessageCopyData] Gave up looking for the peer after ")) {
        return 3;
    }
    if (StartsWith(message, "[SendMessageCopyData] Not found VantixConnect handle")) return 4;
    if (StartsWith(message, "[WriteLog] Another process held the log's lock past ")) return 5;
    return -1;
}

int KindNamedAt(std::string_view text) {
    for (std::size_t kind = 0; kind < kCountedKinds; ++kind) {
        if (StartsWith(text, kKindNames[kind])) return static_cast<int>(kind);
    }
    return -1;
}

// One line of the log, without its line end.
void Count(std::string_view line, std::array<KindCount, kCountedKinds>& counts) {
    if (line.size() >= 11 && line[0] == '[' && line[9] == ']' && line[10] == ' ') line.remove_prefix(11);
    const int kind = KindOfMessage(line);
    if (kind >= 0) {
        ++counts[static_cast<std::size_t>(kind)].written;
        return;
    }
    // "[WriteLog] 995 more refused messages within one second were not written."
    // "[WriteLog] That was today's 10000th line of refused messages: ..."
    // A day's summary ("... were not written on 20261207, ...") counts an
    // earlier day and is left out.
    constexpr std::string_view kSummary = "[WriteLog] ";
    constexpr std::string_view kBound = "[WriteLog] That was today's ";
    if (StartsWith(line, kBound)) {
        const std::size_t of = line.find(" line of ");
        const int named = of == std::string_view::npos ? -1 : KindNamedAt(line.substr(of + 9));
        if (named >= 0) counts[static_cast<std::size_t>(named)].dayBoundReached = true;
        return;
    }
    if (!StartsWith(line, kSummary) || line.find(" within one second were not written.") == std::string_view::npos) {
        return;
    }
    line.remove_prefix(kSummary.size());
    std::uint64_t skipped = 0;
    std::size_t digits = 0;
    while (digits < line.size() && digits < 19 && line[digits] >= '0' && line[digits] <= '9') {
        skipped = skipped * 10 + static_cast<std::uint64_t>(line[digits++] - '0');
    }
    if (digits == 0 || !StartsWith(line.substr(digits), " more ")) return;
    const int named = KindNamedAt(line.substr(digits + 6));
    if (named >= 0) counts[static_cast<std::size_t>(named)].leftOut += skipped;
}

// Reads the file in pieces: a day's log can be large.
void CountLines(HANDLE file, std::array<KindCount, kCountedKinds>& counts) {
    std::string pending;
    char buffer[1 << 16];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        pending.append(buffer, read);
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string_view line(pending.data() + start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            Count(line, counts);
        }
        pending.erase(0, start);
        // A line longer than any the library writes is no line of its own.
        if (pending.size() > (1 << 20)) pending.clear();
    }
    if (!pending.empty()) Count(pending, counts);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReparsePoint(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Whether `access` to `path` would be granted; nothing is written.
bool MayOpen(const std::wstring& path, DWORD access, DWORD flags) {
    const UniqueFile file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr));
    return static_cast<bool>(file);
}

// The folder's path as the system resolves it through its handle, without
// the "\\?\" prefix; empty when it cannot be had.
std::wstring FinalPath(const std::wstring& folder) {
    const UniqueFile handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return {};
    std::wstring path(32768, L'\0');
    const DWORD units = GetFinalPathNameByHandleW(handle.get(), path.data(), static_cast<DWORD>(path.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (units == 0 || units >= path.size()) return {};
    path.resize(units);
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring TodaysName() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t name[32];
    std::swprintf(name, 32, L"bridge_%04u%02u%02u.log", now.wYear, now.wMonth, now.wDay);
    return name;
}

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

const char* KindName(std::size_t kind) { return kind < kCountedKinds ? kKindNames[kind].data() : ""; }
const char* KindKey(std::size_t kind) { return kind < kCountedKinds ? kKindKeys[kind] : ""; }

LogFacts DiagnoseLog(const std::wstring& folder, std::vector<Finding>& findings) {
    LogFacts log;
    std::wstring full(32768, L'\0');
    const DWORD units = GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(units > 0 && units < full.size() ? units : 0);
    log.folder = full.empty() ? folder : full;
    log.exists = IsFolder(log.folder);
    log.parentExists = IsFolder(ParentOf(log.folder));

    // As the library checks it: every folder from the drive down, this one
    // included. Wine shows a Unix symbolic link this way too.
    for (std::size_t i = 0; i <= log.folder.size() && log.linkOnTheWay.empty(); ++i) {
        if (i < log.folder.size() && log.folder[i] != L'\\' && log.folder[i] != L'/') continue;
        if (i == 0 || log.folder[i - 1] == L':' || log.folder[i - 1] == L'\\') continue;
        const std::wstring prefix = log.folder.substr(0, i);
        if (IsReparsePoint(prefix)) log.linkOnTheWay = prefix;
    }
    if (log.exists) {
        const std::wstring final = FinalPath(log.folder);
        if (!final.empty() && !SamePath(final, log.folder)) log.leadsTo = final;
    }

    log.file = log.folder + L"\\" + TodaysName();
    {
        const UniqueFile file(CreateFileW(log.file.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION information{};
        if (file && GetFileInformationByHandle(file.get(), &information)) {
            log.fileExists = true;
            log.fileSize = static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
            log.fileIsLink = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            log.fileHasOtherNames = information.nNumberOfLinks > 1;
        }
    }
    if (log.fileExists) {
        const UniqueFile file(CreateFileW(log.file.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file) CountLines(file.get(), log.counts);
    }
    if (log.fileExists) {
        log.writable = MayOpen(log.file, FILE_APPEND_DATA, FILE_FLAG_OPEN_REPARSE_POINT);
    } else if (log.exists) {
        log.writable = MayOpen(log.folder, FILE_ADD_FILE, FILE_FLAG_BACKUP_SEMANTICS);
    } else if (log.parentExists) {
        log.writable = MayOpen(ParentOf(log.folder), FILE_ADD_SUBDIRECTORY, FILE_FLAG_BACKUP_SEMANTICS);
    }

    const std::string where = common::WideToUtf8(log.folder);
    if (!log.linkOnTheWay.empty() || !log.leadsTo.empty()) {
        const std::string link = common::WideToUtf8(log.linkOnTheWay.empty() ? log.folder : log.linkOnTheWay);
        findings.push_back({"log",
                            (SamePath(log.linkOnTheWay, log.folder) || log.linkOnTheWay.empty()
                                 ? "the log folder " + where + " is a link"
                                 : "the log folder " + where + " has a linked parent, " + link) +
                                ": the library writes no line through a link, so the log stays empty",
                            "make " + link + " a plain folder (remove the link)"});
    } else if (log.fileExists && (log.fileIsLink || log.fileHasOtherNames)) {
        findings.push_back({"log",
                            "today's file " + common::WideToUtf8(log.file) +
                                (log.fileIsLink ? " is a link" : " has another name (a hard link)") +
                                ": the library writes no line to it",
                            "delete " + common::WideToUtf8(log.file) + "; the library makes a plain one"});
    } else if ((log.exists || log.parentExists) && !log.writable) {
        findings.push_back({"log", "this user cannot write to " + where + ": the library's lines are lost",
                            "give the chart program's users write access to " + where});
    }
    const std::uint64_t noPeer = log.counts[4].written + log.counts[4].leftOut;
    if (noPeer > 0) {
        findings.push_back({"log",
                            std::to_string(noPeer) + " sends found no peer today (each met \"run the peer first\")",
                            "see part 2 for the windows there are now and why they are or are not taken"});
    }
    const std::uint64_t skipped = log.counts[3].written + log.counts[3].leftOut;
    if (skipped > 0) {
        findings.push_back({"log", std::to_string(skipped) + " windows were not taken for the peer today",
                            "the log's lines name each window's process and why; part 2 shows the windows now"});
    }
    const std::uint64_t failed = log.counts[0].written + log.counts[0].leftOut;
    if (failed > 0) {
        findings.push_back({"log", std::to_string(failed) + " calls ended with 6 or 14 today",
                            "the log's lines name each call and its request ID; --exchange tries one now"});
    }
    return log;
}

}  // namespace vtx::cli
