// Where a loaded module lives on disk.
#pragma once

#include <windows.h>

#include <string>

namespace vtx::common {

// The full path of `module` (null: the running executable), long paths
// included; empty when it cannot be had.
std::wstring ModulePath(HMODULE module);

// The folder of the running executable, with its trailing backslash: the
// programs of the build sit side by side and find each other there.
std::wstring ExecutableFolder();

}  // namespace vtx::common
