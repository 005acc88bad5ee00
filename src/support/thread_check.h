// Checks that code runs on the thread its comment names, in builds without
// NDEBUG (a Debug configuration) only: the shipped DLL, built with NDEBUG,
// contains none of them. A failed check breaks into the debugger when one
// is attached and ends the process otherwise, through the system alone:
// the C runtime's assert would tie the DLL to a runtime.
#pragma once

#include <windows.h>

#if defined(NDEBUG)
#define VTX_ASSERT_THREAD(onTheRightThread) static_cast<void>(sizeof(onTheRightThread))
#else
#define VTX_ASSERT_THREAD(onTheRightThread) \
    ((onTheRightThread) ? static_cast<void>(0) : ::vtx::StopOnWrongThread())

namespace vtx {

inline void StopOnWrongThread() noexcept {
    constexpr UINT kAssertionFailure = 0xC0000420;  // STATUS_ASSERTION_FAILURE
    if (::IsDebuggerPresent()) ::DebugBreak();
    ::TerminateProcess(::GetCurrentProcess(), kAssertionFailure);
}

}  // namespace vtx
#endif
