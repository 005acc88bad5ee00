// Reads a script file whole. Kept apart from parsing so the parser sees
// only text.
#pragma once

#include <string>

namespace vtx::cli {

// Far beyond any script a person writes; keeps a wrong path (a disk image,
// a log) from filling memory.
inline constexpr unsigned long long kMaxScriptBytes = 16ull * 1024 * 1024;

// False with `error` set ("cannot open it: File not found (error 2)") when
// the file cannot be read whole.
bool ReadScriptFile(const std::wstring& path, std::string* contents, std::string* error);

}  // namespace vtx::cli
