// A file read whole into memory, for the script files vtxcli and vtxpeer
// take. Each program words its own messages; this says only which step
// failed and why.
#pragma once

#include <windows.h>

#include <string>

namespace vtx::common {

// Far beyond any script a person writes; keeps a wrong path (a disk image,
// a log) from filling memory.
inline constexpr unsigned long long kMaxScriptBytes = 16ull * 1024 * 1024;

struct WholeFile {
    enum class Failure { None, Open, Size, TooLarge, Read };
    Failure failure = Failure::None;
    DWORD error = 0;  // GetLastError of the failed step (none for TooLarge)
    std::string contents;

    bool Ok() const { return failure == Failure::None; }
};

// Reads `path` whole if it holds at most `maxBytes`.
WholeFile ReadWholeFile(const std::wstring& path, unsigned long long maxBytes);

}  // namespace vtx::common
