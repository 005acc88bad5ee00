// Reads a script file whole, in vtxcli's words. Kept apart from parsing so
// the parser sees only text.
#pragma once

#include <string>

namespace vtx::cli {

// False with `error` set ("cannot open it: File not found (error 2)") when
// the file cannot be read whole.
bool ReadScriptFile(const std::wstring& path, std::string* contents, std::string* error);

}  // namespace vtx::cli
