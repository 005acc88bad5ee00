#include "support/test_files.h"

#include <fstream>
#include <iterator>

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
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(File(L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            ::DeleteFileW(File(found.cFileName).c_str());
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(path_.c_str());
}

std::vector<unsigned char> ReadFileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace vtx::test
