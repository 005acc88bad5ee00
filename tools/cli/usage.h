// The text --help prints.
#pragma once

namespace vtx::cli {

extern const char kUsage[];
extern const char kDiagnoseUsage[];

}  // namespace vtx::cli
