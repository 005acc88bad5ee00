#include "support/process_counts.h"

#include <psapi.h>
#include <tlhelp32.h>

#include "support/unique_handle.h"

namespace vtx::test {

int ThreadCount() {
    const DWORD self = ::GetCurrentProcessId();
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == self) ++count;
    }
    return count;
}

DWORD HandleCount() {
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return count;
}

SIZE_T PrivateBytes() {
    // PagefileUsage is the commit charge, like PrivateUsage, which Wine
    // leaves at zero.
    PROCESS_MEMORY_COUNTERS counters{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

}  // namespace vtx::test
