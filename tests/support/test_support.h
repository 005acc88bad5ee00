// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <string>

namespace vtx::test {

}  // namespace vtx::test
