#include "peer/record_directory.h"

#include <windows.h>

#include <cwchar>

#include "support/unique_handle.h"

namespace vtx::peer {

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
    const std::wstring path = directory_ + FileName(++sequence_, code);
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (data == nullptr || size == 0) return true;
    DWORD written = 0;
    return WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

}  // namespace vtx::peer
