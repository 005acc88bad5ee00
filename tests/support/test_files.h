// Files a test makes and reads back: a folder of its own under %TEMP%, and
// a file's bytes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vtx::test {

// A path of its own under %TEMP%, unique within the machine's run of tests
// ("<prefix>-<process id>-<tick>-<n>"). The folder is not made here (the
// peer's --record makes its own); whatever is there goes with the object.
class TempDirectory {
public:
    explicit TempDirectory(const std::wstring& prefix);
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// The whole content of `path`; empty when it cannot be read.
std::vector<unsigned char> ReadFileBytes(const std::wstring& path);

}  // namespace vtx::test
