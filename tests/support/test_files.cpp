#include "support/test_files.h"

#include <chrono>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

#include "support/command_line.h"
#include "support/create_process.h"

namespace vtx::test {

TempDirectory::TempDirectory(const std::wstring& prefix) {
    // Two directories of one test made within the same tick differ by this.
    static int made = 0;
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + prefix + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++made);
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path_), ignored);
}

bool TempDirectory::Make() const { return ::CreateDirectoryW(path_.c_str(), nullptr) != FALSE; }

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<unsigned char> ReadFileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::wstring& path) {
    const std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::optional<std::string> UnixPathOf(const std::wstring& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* converted = convert != nullptr ? convert(path.c_str()) : nullptr;
    if (converted == nullptr) return std::nullopt;
    std::string unixPath(converted);
    ::HeapFree(::GetProcessHeap(), 0, converted);
    return unixPath;
}

bool StartUnixShell(const std::string& command) {
    if (!UnixPathOf(L"C:\\")) return false;
    std::wstring commandLine = CommandLineOf(L"/bin/sh", {L"-c", std::wstring(command.begin(), command.end())});
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessPatiently(commandLine.data(), FALSE, 0, nullptr, &startup, &started)) return false;
    if (started.hThread != nullptr) ::CloseHandle(started.hThread);
    if (started.hProcess != nullptr) ::CloseHandle(started.hProcess);
    return true;
}

namespace {

// Waits (at most 10 s) for a Unix program's work to show.
template <class Done>
bool WaitFor(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Whether `path` is a link: a reparse point by its path, or leading
// elsewhere than itself when opened.
bool IsLink(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    const HANDLE opened = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    wchar_t final[MAX_PATH * 2] = {};
    wchar_t full[MAX_PATH * 2] = {};
    const DWORD finalLength = ::GetFinalPathNameByHandleW(opened, final, MAX_PATH * 2, FILE_NAME_NORMALIZED);
    ::CloseHandle(opened);
    const DWORD fullLength = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    const wchar_t* shown = std::wcsncmp(final, L"\\\\?\\", 4) == 0 ? final + 4 : final;
    return finalLength != 0 && fullLength != 0 && ::CompareStringOrdinal(shown, -1, full, -1, TRUE) != CSTR_EQUAL;
}

}  // namespace

bool MakeSymbolicLink(const std::wstring& link, const std::wstring& target) {
    const std::optional<std::string> unixLink = UnixPathOf(link);
    const std::optional<std::string> unixTarget = UnixPathOf(target);
    if (unixLink && unixTarget) {
        if (!StartUnixShell("/bin/ln -s '" + *unixTarget + "' '" + *unixLink + "'")) return false;
        return WaitFor([&] { return PathExists(link); }) && IsLink(link);
    }
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const DWORD folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                             ? SYMBOLIC_LINK_FLAG_DIRECTORY
                             : 0;
    return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), folder | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
           IsLink(link);
}

void RemoveSymbolicLink(const std::wstring& link) {
    const std::optional<std::string> unixLink = UnixPathOf(link);
    if (unixLink && StartUnixShell("/bin/rm -f '" + *unixLink + "'")) {
        WaitFor([&] { return !PathExists(link); });
        return;
    }
    if (!::RemoveDirectoryW(link.c_str())) ::DeleteFileW(link.c_str());
}

}  // namespace vtx::test
