// What a test process holds, to check that loading and unloading the
// library leaves nothing behind.
#pragma once

#include <windows.h>

namespace vtx::test {

// Threads of this process.
int ThreadCount();
// Kernel handles of this process.
DWORD HandleCount();
// Private bytes committed by this process (its commit charge).
SIZE_T PrivateBytes();

}  // namespace vtx::test
