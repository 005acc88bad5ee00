// Win32 error codes in words, for messages a user has to act on.
#pragma once

#include <string>

namespace vtx::cli {

// "The system cannot find the file specified (error 2)".
std::string SystemErrorText(unsigned long error);

}  // namespace vtx::cli
