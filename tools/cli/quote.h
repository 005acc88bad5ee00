// A text as vtxcli prints it.
#pragma once

#include <string>
#include <string_view>

namespace vtx::cli {

// In double quotes, with \" \\ \n \r \t and \xNN for other control
// characters, so a printed text can be pasted back into a command unchanged.
std::string Quote(std::string_view utf8);

}  // namespace vtx::cli
