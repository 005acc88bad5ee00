// Win32 error codes in words, for messages a user has to act on.
#pragma once

#include <string>

namespace vtx::cli {

// "File not found (error 2)", as Wine words it.
std::string SystemErrorText(unsigned long error);

}  // namespace vtx::cli
