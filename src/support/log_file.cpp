#include "support/log_file.h"

#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstddef>

namespace vtx {
namespace {

// Room for a path: the fixed folder, or a host's current folder.
constexpr std::size_t kPathCapacity = 1024;
constexpr std::size_t kNoSeparator = static_cast<std::size_t>(-1);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr LONG kObjectNameCollision = static_cast<LONG>(0xC0000035);

std::size_t LengthOf(const wchar_t* text) {
    std::size_t length = 0;
    while (text[length] != L'\0') ++length;
    return length;
}

std::size_t LastSeparator(const wchar_t* path) {
    std::size_t last = kNoSeparator;
    for (std::size_t i = 0; path[i] != L'\0'; ++i) {
        if (path[i] == L'\\' || path[i] == L'/') last = i;
    }
    return last;
}

// Copies `text` to `out` from `at` on; false when it does not fit.
bool CopyAt(wchar_t* out, std::size_t at, const wchar_t* text) {
    for (; *text != L'\0'; ++text) {
        if (at + 1 >= kPathCapacity) return false;
        out[at++] = *text;
    }
    out[at] = L'\0';
    return true;
}

// `path` made absolute; false when it does not fit.
bool FullPath(const wchar_t* path, wchar_t* out) {
    const DWORD length = ::GetFullPathNameW(path, kPathCapacity, out, nullptr);
    return length != 0 && length < kPathCapacity;
}

bool SamePath(const wchar_t* a, const wchar_t* b) { return ::CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

// Where the volume ends in an absolute path: "C:", or "\\server\share".
std::size_t RootLength(const wchar_t* path) {
    if (path[0] != L'\0' && path[1] == L':') return 2;
    if (path[0] != L'\\' || path[1] != L'\\') return 0;
    std::size_t i = 2;
    for (int separators = 0; path[i] != L'\0'; ++i) {
        if (path[i] == L'\\' && ++separators == 2) break;
    }
    return i;
}

// The final path of `handle` (every link on the way followed) as a DOS
// path ("C:\...", "\\server\share\..."), or within its volume ("\...").
const wchar_t* FinalPath(HANDLE handle, wchar_t* out, DWORD volumeName) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, out, kPathCapacity, FILE_NAME_NORMALIZED | volumeName);
    if (length == 0 || length >= kPathCapacity) return nullptr;
    if (volumeName != VOLUME_NAME_DOS) return out;
    if (::CompareStringOrdinal(out, 8, L"\\\\?\\UNC\\", 8, TRUE) == CSTR_EQUAL) {
        out[6] = L'\\';  // "\\?\UNC\server" read as "\\server"
        return out + 6;
    }
    return ::CompareStringOrdinal(out, 4, L"\\\\?\\", 4, FALSE) == CSTR_EQUAL ? out + 4 : out;
}

// Whether `handle` is of the file or folder at `expected` (absolute): a link
// anywhere on the way, swapped in at any moment before the open, shows in
// the handle's final path.
bool LeadsTo(HANDLE handle, const wchar_t* expected) {
    wchar_t final[kPathCapacity];
    const wchar_t* dos = FinalPath(handle, final, VOLUME_NAME_DOS);
    if (dos != nullptr && SamePath(dos, expected)) return true;
    // A host's current folder may be given in short (8.3) names, which a
    // final path never shows. The long form keeps any link's own name, so it
    // cannot make a link pass.
    wchar_t longForm[kPathCapacity];
    const DWORD length = ::GetLongPathNameW(expected, longForm, kPathCapacity);
    const bool haveLong = length != 0 && length < kPathCapacity;
    if (dos != nullptr && haveLong && SamePath(dos, longForm)) return true;
    // A mapped or substituted drive has a DOS name of its own: compare the
    // path within the volume.
    const wchar_t* inVolume = FinalPath(handle, final, VOLUME_NAME_NONE);
    const wchar_t* compared = haveLong ? longForm : expected;
    return inVolume != nullptr && SamePath(inVolume, compared + RootLength(compared));
}

// Not a link of any kind (seen through the handle, not followed), and a
// file with one name only, or a folder.
bool IsPlain(HANDLE handle, bool folder) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle, &information)) return false;
    const DWORD attributes = information.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return folder ? isFolder : !isFolder && information.nNumberOfLinks == 1;
}

using NtCreateFileFunction = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                           LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);

// The one call that makes a folder inside a folder's handle rather than at
// a path; ntdll is in every process, looked up once.
std::atomic<void*> g_ntCreateFile{nullptr};

NtCreateFileFunction NtCreateFileCall() {
    void* function = g_ntCreateFile.load();
    if (function == nullptr) {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        function = ntdll == nullptr ? nullptr : reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateFile"));
        g_ntCreateFile.store(function);
    }
    return reinterpret_cast<NtCreateFileFunction>(function);
}

// Makes folder `name` inside the folder `parent` is a handle of.
LogFolder CreateInside(HANDLE parent, const wchar_t* name) {
    const NtCreateFileFunction create = NtCreateFileCall();
    const std::size_t length = LengthOf(name);
    if (create == nullptr || length == 0 || length > 255) return LogFolder::Absent;
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name);
    text.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE made = nullptr;
    const LONG result = create(&made, FILE_LIST_DIRECTORY | SYNCHRONIZE, &attributes, &status, nullptr,
                               FILE_ATTRIBUTE_NORMAL, kShareAll, FILE_CREATE,
                               FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    const UniqueHandle closed(result >= 0 ? made : nullptr);
    // One that exists already is proven, or not, by the file opened in it.
    return result >= 0 || result == kObjectNameCollision ? LogFolder::Ready : LogFolder::Absent;
}

// Removes the file of `handle`, which this process made and may delete.
void RemoveThroughHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition));
}

}  // namespace

LogFolder PrepareLogFolder(const wchar_t* folder) noexcept {
    wchar_t parent[kPathCapacity];
    if (!FullPath(folder, parent)) return LogFolder::Absent;
    const std::size_t split = LastSeparator(parent);
    if (split == kNoSeparator || parent[split + 1] == L'\0') return LogFolder::Absent;
    wchar_t name[kPathCapacity];
    if (!CopyAt(name, 0, parent + split + 1)) return LogFolder::Absent;
    // The parent as its final path shows it: "C:\" keeps its separator.
    parent[split == 2 && parent[1] == L':' ? split + 1 : split] = L'\0';
    // Held without delete sharing while the folder is made, so that it
    // cannot be renamed away meanwhile; and the folder is made inside this
    // handle, never at the path.
    const UniqueFile held(::CreateFileW(parent, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
    if (!held) return LogFolder::Absent;
    if (!IsPlain(held.get(), true) || !LeadsTo(held.get(), parent)) return LogFolder::Refused;
    return CreateInside(held.get(), name);
}

UniqueFile OpenPlainFileToAppend(const wchar_t* path) noexcept {
    wchar_t expected[kPathCapacity];
    if (!FullPath(path, expected)) return UniqueFile(nullptr);
    // Appending only (no FILE_WRITE_DATA): every write goes to the end. Read
    // access is what a byte-range lock asks for. A link at the last step is
    // opened as itself, not followed, so that it can be told apart.
    constexpr DWORD kAppend = FILE_APPEND_DATA | FILE_READ_DATA;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    UniqueFile file(::CreateFileW(expected, kAppend, kShareAll, nullptr, OPEN_EXISTING, kFlags, nullptr));
    bool created = false;
    if (!file && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        // Made with the right to remove it again, should it lie elsewhere.
        file = UniqueFile(::CreateFileW(expected, kAppend | DELETE, kShareAll, nullptr, CREATE_NEW, kFlags, nullptr));
        created = static_cast<bool>(file);
        if (!file && ::GetLastError() == ERROR_FILE_EXISTS) {  // another writer made it meanwhile
            file = UniqueFile(::CreateFileW(expected, kAppend, kShareAll, nullptr, OPEN_EXISTING, kFlags, nullptr));
        }
    }
    if (!file || (IsPlain(file.get(), false) && LeadsTo(file.get(), expected))) return file;
    if (created) RemoveThroughHandle(file.get());
    return UniqueFile(nullptr);
}

}  // namespace vtx
