// The text --help prints.
#pragma once

namespace vtx::cli {

extern const char kUsage[];

}  // namespace vtx::cli
