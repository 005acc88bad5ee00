// Files a test makes and reads back: a folder of its own under %TEMP%, a
// file's bytes or text, and symbolic links.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace vtx::test {

// A path of its own under %TEMP%, unique within the machine's run of tests
// ("<prefix>-<process id>-<tick>-<n>"). The folder is made by Make() only
// (the peer's --record makes its own); whatever is there, folders
// included, goes with the object.
class TempDirectory {
public:
    explicit TempDirectory(const std::wstring& prefix);
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // Makes the folder; false when it could not be made.
    bool Make() const;
    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Whether a file or folder exists at `path`.
bool PathExists(const std::wstring& path);

// The whole content of `path`; empty when it cannot be read.
std::vector<unsigned char> ReadFileBytes(const std::wstring& path);
std::string ReadFileText(const std::wstring& path);

// Under Wine, the Unix path of `path` (kernel32's wine_get_unix_file_name);
// nothing elsewhere.
std::optional<std::string> UnixPathOf(const std::wstring& path);

// Under Wine, starts `/bin/sh -c <command>`; false elsewhere or when it did
// not start. Wine gives no handle to a Unix process, so the command has to
// leave a sign of its own when it is done.
bool StartUnixShell(const std::string& command);

// Makes `link` a symbolic link to the folder or file `target`: under Wine a
// Unix one (Wine's CreateSymbolicLinkW returns TRUE and makes nothing),
// elsewhere with CreateSymbolicLinkW. True once `link` exists and is seen
// to be a link: a reparse point by its path, or a path whose final path is
// another (Wine shows a Unix link to a file only so). False when none
// could be made (on Windows, without the privilege or developer mode).
bool MakeSymbolicLink(const std::wstring& link, const std::wstring& target);

// Removes the link `link` itself, not what it leads to (Wine's DeleteFileW
// and RemoveDirectoryW leave a Unix link in place).
void RemoveSymbolicLink(const std::wstring& link);

// A link made by MakeSymbolicLink for the life of the object.
class ScopedSymbolicLink {
public:
    ScopedSymbolicLink(const std::wstring& link, const std::wstring& target)
        : link_(link), made_(MakeSymbolicLink(link, target)) {}
    ~ScopedSymbolicLink() {
        if (made_) RemoveSymbolicLink(link_);
    }
    ScopedSymbolicLink(const ScopedSymbolicLink&) = delete;
    ScopedSymbolicLink& operator=(const ScopedSymbolicLink&) = delete;
    bool Made() const { return made_; }

private:
    std::wstring link_;
    bool made_;
};

}  // namespace vtx::test
