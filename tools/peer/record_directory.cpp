#include "peer/record_directory.h"

#include <windows.h>

#include <cwchar>

#include "support/unique_handle.h"

namespace vtx::peer {
namespace {

// "000001-1014.bin" becomes "000001-1014.partial": neither the name nor the
// short name Windows derives from it ends in ".bin".
std::wstring PartialName(const std::wstring& name) { return name.substr(0, name.rfind(L'.')) + L".partial"; }

bool WriteWholeFile(const std::wstring& path, const void* data, std::size_t size) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (data == nullptr || size == 0) return true;
    DWORD written = 0;
    return WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

}  // namespace

std::unique_ptr<RecordDirectory> RecordDirectory::Open(const std::wstring& directory, std::string* error) {
    if (!CreateDirectoryW(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = "cannot create the record directory (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    const DWORD attributes = GetFileAttributesW(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = "the record path is not a directory";
        return nullptr;
    }
    return std::make_unique<RecordDirectory>(OpenKey{}, directory);
}

RecordDirectory::RecordDirectory(OpenKey, std::wstring directory) : directory_(std::move(directory)) {
    if (!directory_.empty() && directory_.back() != L'\\' && directory_.back() != L'/') directory_ += L'\\';
}

std::wstring RecordDirectory::FileName(std::uint32_t sequence, std::uint32_t code) {
    wchar_t name[32];
    std::swprintf(name, 32, L"%06lu-%lu.bin", static_cast<unsigned long>(sequence), static_cast<unsigned long>(code));
    return name;
}

bool RecordDirectory::Write(std::uint32_t code, const void* data, std::size_t size) {
    const std::wstring name = FileName(++sequence_, code);
    // Written under a name no reader looks for, then renamed in one step: a
    // test reading the folder while messages arrive sees each file whole or
    // not at all.
    const std::wstring partial = directory_ + PartialName(name);
    if (!WriteWholeFile(partial, data, size)) {
        const DWORD error = GetLastError();  // the caller reports it
        DeleteFileW(partial.c_str());
        SetLastError(error);
        return false;
    }
    return MoveFileExW(partial.c_str(), (directory_ + name).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace vtx::peer
