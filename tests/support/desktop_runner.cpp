// vtxdesk.exe: runs a test program on a desktop of its own.
//
// The library finds the peer by window class alone, so two tests running at
// once would find each other's peer windows and message boxes. Each test
// process therefore gets a fresh desktop; windows on one desktop are invisible
// to lookups from another. The program and everything it starts run in a job
// that is killed when this runner ends, so a timed-out test leaves nothing
// behind.
//
// Usage: vtxdesk.exe <program> [arguments...]   (a Unix path is accepted)
#include <windows.h>

#include <cwchar>
#include <string>

#include "support/command_line.h"
#include "support/create_process.h"

using vtx::test::QuoteArgument;

namespace {

// Wine maps the Unix root to drive Z:.
std::wstring WindowsPath(std::wstring path) {
    if (path.empty() || path[0] != L'/') return path;
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    return L"Z:" + path;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: vtxdesk <program> [arguments...]\n");
        return 2;
    }
    std::wstring commandLine = QuoteArgument(WindowsPath(argv[1]));
    for (int i = 2; i < argc; ++i) commandLine += L" " + QuoteArgument(argv[i]);

    wchar_t desktopName[64];
    std::swprintf(desktopName, 64, L"vtxtest-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    HDESK desktop = CreateDesktopW(desktopName, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop == nullptr) {
        std::fwprintf(stderr, L"vtxdesk: cannot create a desktop (%lu)\n", GetLastError());
        return 2;
    }

    // Wine gives a child's later threads the desktop of the thread that
    // started it, not the one named in STARTUPINFO: switch to it ourselves.
    if (!SetThreadDesktop(desktop)) {
        std::fwprintf(stderr, L"vtxdesk: cannot switch to the desktop (%lu)\n", GetLastError());
        return 2;
    }

    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktopName;
    PROCESS_INFORMATION process{};
    if (!vtx::test::CreateProcessPatiently(commandLine.data(), TRUE, CREATE_SUSPENDED, nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"vtxdesk: cannot start %ls (%lu)\n", commandLine.c_str(), GetLastError());
        return 2;
    }
    if (job != nullptr) AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);

    DWORD exitCode = 2;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (job != nullptr) CloseHandle(job);
    CloseDesktop(desktop);
    return static_cast<int>(exitCode);
}
