// CreateProcessW for the test programs, tried again when it fails: under
// Wine on a loaded machine a new process is now and then refused with an
// internal error (1359) and started the next moment. A program that cannot
// start at all still fails, after about a second.
#pragma once

#include <windows.h>

namespace vtx::test {

inline BOOL CreateProcessPatiently(wchar_t* commandLine, BOOL inheritHandles, DWORD flags, void* environment,
                                   STARTUPINFOW* startup, PROCESS_INFORMATION* process) {
    constexpr int kAttempts = 20;
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, inheritHandles, flags, environment, nullptr, startup,
                           process)) {
            return TRUE;
        }
        if (attempt == kAttempts) return FALSE;
        const DWORD error = GetLastError();
        Sleep(50);
        SetLastError(error);
    }
}

}  // namespace vtx::test
