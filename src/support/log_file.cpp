#include "support/log_file.h"

#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstddef>

namespace vtx {
namespace {

// Room for a path: the fixed folder, or a host's current folder.
constexpr std::size_t kPathCapacity = 1024;
constexpr std::size_t kNameCapacity = 256;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr LONG kNameNotFound = static_cast<LONG>(0xC0000034);
constexpr LONG kNameCollision = static_cast<LONG>(0xC0000035);
constexpr LONG kPathNotFound = static_cast<LONG>(0xC000003A);
constexpr ULONG kFileIdFullDirectoryInformation = 38;
// Whether NtCreateFile opened or made the file (IO_STATUS_BLOCK.Information).
constexpr ULONG_PTR kFileCreated = 2;

// A folder's one entry of a name, as its listing shows it.
struct DirectoryEntry {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime, endOfFile, allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;
    ULONG eaSize;
    LARGE_INTEGER fileId;
    WCHAR fileName[1];
};

using NtCreateFileFunction = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                           LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
using NtQueryDirectoryFileFunction = LONG(WINAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*, ULONG,
                                                   ULONG, BOOLEAN, UNICODE_STRING*, BOOLEAN);

// The two calls that act inside a folder's handle rather than at a path;
// ntdll is in every process. Looked up once.
std::atomic<void*> g_ntCreateFile{nullptr};
std::atomic<void*> g_ntQueryDirectoryFile{nullptr};

void* NtdllFunction(std::atomic<void*>& slot, const char* name) {
    void* function = slot.load();
    if (function == nullptr) {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        function = ntdll == nullptr ? nullptr : reinterpret_cast<void*>(::GetProcAddress(ntdll, name));
        slot.store(function);
    }
    return function;
}

// `text` (of `length` units) as the system's counted string.
UNICODE_STRING Counted(const wchar_t* text, std::size_t length) {
    UNICODE_STRING counted;
    counted.Buffer = const_cast<wchar_t*>(text);
    counted.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    counted.MaximumLength = counted.Length;
    return counted;
}

std::size_t LengthOf(const wchar_t* text) {
    std::size_t length = 0;
    while (text[length] != L'\0') ++length;
    return length;
}

// Opens (or with FILE_CREATE / FILE_OPEN_IF makes) `name` inside the folder
// `parent`. A link of the system's kind is opened as itself, not followed.
UniqueHandle OpenInside(HANDLE parent, const wchar_t* name, std::size_t length, ACCESS_MASK access,
                        ULONG disposition, ULONG options, LONG& status, bool& created) {
    const auto create = reinterpret_cast<NtCreateFileFunction>(NtdllFunction(g_ntCreateFile, "NtCreateFile"));
    created = false;
    status = kNameNotFound;
    if (create == nullptr || length == 0 || length >= kNameCapacity) return UniqueHandle();
    UNICODE_STRING text = Counted(name, length);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    status = create(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, kShareAll,
                    disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (status < 0) return UniqueHandle();
    created = io.Information == kFileCreated;
    return UniqueHandle(opened);
}

// Whether `child`, opened inside `parent` as `name`, is the plain folder or
// file its name shows: through its own handle no link of any kind, a
// folder or a file with one name as asked; and in its parent's listing an
// entry of that name that is no link either and is this very object (a
// link swapped in or out meanwhile shows as another one). `parent` must
// not have been listed before: a folder's handle keeps its first pattern.
bool IsPlainEntry(HANDLE parent, const wchar_t* name, std::size_t length, HANDLE child, bool folder) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(child, &information)) return false;
    const DWORD attributes = information.dwFileAttributes;
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || isFolder != folder) return false;
    if (!folder && information.nNumberOfLinks != 1) return false;

    const auto query = reinterpret_cast<NtQueryDirectoryFileFunction>(
        NtdllFunction(g_ntQueryDirectoryFile, "NtQueryDirectoryFile"));
    if (query == nullptr) return false;
    alignas(LARGE_INTEGER) unsigned char listing[sizeof(DirectoryEntry) + kNameCapacity * sizeof(wchar_t)];
    UNICODE_STRING pattern = Counted(name, length);
    IO_STATUS_BLOCK io{};
    if (query(parent, nullptr, nullptr, nullptr, &io, listing, sizeof(listing), kFileIdFullDirectoryInformation, TRUE,
              &pattern, TRUE) < 0) {
        return false;
    }
    const auto* entry = reinterpret_cast<const DirectoryEntry*>(listing);
    if ((entry->fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
    // A file system without stable IDs (FAT) lists none, and has no links.
    const ULONGLONG index = (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return entry->fileId.QuadPart == 0 || static_cast<ULONGLONG>(entry->fileId.QuadPart) == index;
}

// Where the volume ends in an absolute path: "C:\", or "\\server\share\".
std::size_t RootLength(const wchar_t* path) {
    if (path[0] != L'\0' && path[1] == L':') return path[2] == L'\\' ? 3 : 0;
    if (path[0] != L'\\' || path[1] != L'\\') return 0;
    int separators = 0;
    for (std::size_t i = 2; path[i] != L'\0'; ++i) {
        if (path[i] == L'\\' && ++separators == 2) return i + 1;
    }
    return 0;
}

bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

// Removes what `handle` was opened on, which this call made.
void RemoveThroughHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition));
}

// The final path of `handle` (every link on the way followed), or false.
bool FinalPathOf(HANDLE handle, wchar_t* out) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, out, kPathCapacity, FILE_NAME_NORMALIZED);
    return length != 0 && length < kPathCapacity;
}

// Whether `file`'s final path is its folder's followed by its name: a link
// at the last step that no listing shows (a Unix one to a file, under Wine)
// leads elsewhere.
bool LiesIn(HANDLE folder, HANDLE file, const wchar_t* name) {
    wchar_t folderPath[kPathCapacity];
    wchar_t filePath[kPathCapacity];
    if (!FinalPathOf(folder, folderPath) || !FinalPathOf(file, filePath)) return false;
    std::size_t length = LengthOf(folderPath);
    if (length == 0 || length + 1 + LengthOf(name) >= kPathCapacity) return false;
    if (!IsSeparator(folderPath[length - 1])) folderPath[length++] = L'\\';
    for (const wchar_t* unit = name; *unit != L'\0'; ++unit) folderPath[length++] = *unit;
    folderPath[length] = L'\0';
    return ::CompareStringOrdinal(folderPath, -1, filePath, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

UniqueFile OpenPlainFolder(const wchar_t* folder, bool makeLast, LogFolder& state) noexcept {
    state = LogFolder::Absent;
    wchar_t path[kPathCapacity];
    const DWORD pathLength = ::GetFullPathNameW(folder, kPathCapacity, path, nullptr);
    if (pathLength == 0 || pathLength >= kPathCapacity) return UniqueFile(nullptr);
    const std::size_t rootLength = RootLength(path);
    if (rootLength == 0) return UniqueFile(nullptr);
    const wchar_t rootEnd = path[rootLength];
    path[rootLength] = L'\0';
    const HANDLE root = ::CreateFileW(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    path[rootLength] = rootEnd;
    if (root == INVALID_HANDLE_VALUE) return UniqueFile(nullptr);
    UniqueHandle current(root);
    for (std::size_t start = rootLength; path[start] != L'\0';) {
        std::size_t end = start;
        while (path[end] != L'\0' && !IsSeparator(path[end])) ++end;
        const bool last = path[end] == L'\0' || path[end + 1] == L'\0';
        const ULONG disposition = last && makeLast ? FILE_OPEN_IF : FILE_OPEN;
        LONG status = 0;
        bool created = false;
        UniqueHandle next = OpenInside(current.get(), path + start, end - start,
                                       FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES, disposition,
                                       FILE_DIRECTORY_FILE, status, created);
        if (!next) {
            state = status == kNameNotFound || status == kPathNotFound ? LogFolder::Absent : LogFolder::Refused;
            return UniqueFile(nullptr);
        }
        if (!created && !IsPlainEntry(current.get(), path + start, end - start, next.get(), true)) {
            state = LogFolder::Refused;
            return UniqueFile(nullptr);
        }
        current = std::move(next);
        start = path[end] == L'\0' ? end : end + 1;
    }
    state = LogFolder::Ready;
    return UniqueFile(current.release());
}

UniqueFile OpenPlainFileToAppend(HANDLE folder, const wchar_t* name) noexcept {
    const std::size_t length = LengthOf(name);
    // Appending only (no FILE_WRITE_DATA): every write goes to the end. Read
    // access is what a byte-range lock asks for. Made, when missing, with
    // the right to remove it again, should it turn out not to be plain.
    constexpr ACCESS_MASK kAppend = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES;
    LONG status = 0;
    bool created = false;
    UniqueHandle file = OpenInside(folder, name, length, kAppend, FILE_OPEN, FILE_NON_DIRECTORY_FILE, status, created);
    if (!file && status == kNameNotFound) {
        file = OpenInside(folder, name, length, kAppend | DELETE, FILE_CREATE, FILE_NON_DIRECTORY_FILE, status, created);
        if (!file && status == kNameCollision) {  // another writer made it meanwhile
            file = OpenInside(folder, name, length, kAppend, FILE_OPEN, FILE_NON_DIRECTORY_FILE, status, created);
        }
    }
    if (!file) return UniqueFile(nullptr);
    if (IsPlainEntry(folder, name, length, file.get(), false) && LiesIn(folder, file.get(), name)) {
        return UniqueFile(file.release());
    }
    if (created) RemoveThroughHandle(file.get());
    return UniqueFile(nullptr);
}

}  // namespace vtx
