#include "script_file.h"

#include <windows.h>

#include "support/unique_handle.h"
#include "system_error.h"

namespace vtx::cli {

bool ReadScriptFile(const std::wstring& path, std::string* contents, std::string* error) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD openError = GetLastError();
        *error = "cannot open it: " + SystemErrorText(openError);
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        *error = "cannot read its size: " + SystemErrorText(GetLastError());
        return false;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxScriptBytes) {
        *error = "it is larger than 16 MB";
        return false;
    }
    contents->assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!contents->empty() &&
        (!ReadFile(file.get(), contents->data(), static_cast<DWORD>(contents->size()), &read, nullptr) ||
         read != contents->size())) {
        *error = "cannot read it: " + SystemErrorText(GetLastError());
        return false;
    }
    return true;
}

}  // namespace vtx::cli
