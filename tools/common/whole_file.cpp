#include "common/whole_file.h"

#include "support/unique_handle.h"

namespace vtx::common {
namespace {

WholeFile Failed(WholeFile::Failure failure, DWORD error) {
    WholeFile file;
    file.failure = failure;
    file.error = error;
    return file;
}

}  // namespace

WholeFile ReadWholeFile(const std::wstring& path, unsigned long long maxBytes) {
    // Others may keep the file open, even for writing (an editor, a log).
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failed(WholeFile::Failure::Open, ::GetLastError());
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return Failed(WholeFile::Failure::Size, ::GetLastError());
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) return Failed(WholeFile::Failure::TooLarge, 0);

    WholeFile read;
    read.contents.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD bytes = 0;
    if (!read.contents.empty() && (!::ReadFile(file.get(), read.contents.data(),
                                               static_cast<DWORD>(read.contents.size()), &bytes, nullptr) ||
                                   bytes != read.contents.size())) {
        return Failed(WholeFile::Failure::Read, ::GetLastError());
    }
    return read;
}

}  // namespace vtx::common
