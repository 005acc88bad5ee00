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

double ThreadProcessorMs(DWORD threadId) {
    const UniqueHandle thread(::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId));
    FILETIME created{}, ended{}, kernel{}, user{};
    if (!thread || !::GetThreadTimes(thread.get(), &created, &ended, &kernel, &user)) return -1;
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

DWORD NextTlsIndex() {
    const DWORD index = ::TlsAlloc();
    if (index != TLS_OUT_OF_INDEXES) ::TlsFree(index);
    return index;
}

std::uintptr_t LowestFreeHandle() {
    const UniqueHandle probe(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return reinterpret_cast<std::uintptr_t>(probe.get());
}

SIZE_T PrivateBytes() {
    // PagefileUsage is the commit charge, like PrivateUsage, which Wine
    // leaves at zero.
    PROCESS_MEMORY_COUNTERS counters{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

}  // namespace vtx::test

namespace vtx::test {

SIZE_T PrivateAddressSpace() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* address = nullptr;
         ::VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.Type == MEM_PRIVATE && region.State != MEM_FREE) total += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return total;
}

}  // namespace vtx::test
