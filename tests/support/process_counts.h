// What a test process holds, to check that loading and unloading the
// library leaves nothing behind. Each probe works under Wine (which answers
// GetProcessHandleCount and PrivateUsage with 0); tests/integration/
// reliability_test.cpp shows each one seeing a leak made on purpose.
#pragma once

#include <windows.h>

#include <cstdint>

namespace vtx::test {

// Threads of this process (Toolhelp snapshot).
int ThreadCount();
// The processor time, kernel and user, thread `threadId` has used so far,
// in milliseconds; -1 when it cannot be read.
double ThreadProcessorMs(DWORD threadId);
// The TLS index the next TlsAlloc would return: grows when TLS indexes leak.
DWORD NextTlsIndex();
// The value the next new handle would get (the lowest free slot of the
// handle table): grows when handles leak.
std::uintptr_t LowestFreeHandle();
// Private bytes committed by this process (its commit charge).
SIZE_T PrivateBytes();
// Private address space, reserved or committed (a VirtualQuery walk): sees
// what a thread stack left behind holds even when it is only reserved.
SIZE_T PrivateAddressSpace();

}  // namespace vtx::test
