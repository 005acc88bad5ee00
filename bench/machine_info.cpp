#include "machine_info.h"

#include <windows.h>

#include <cstdio>

#include "support/unique_handle.h"

namespace vtx::bench {
namespace {

std::string ProcessorName() {
    char name[128] = {};
    DWORD size = sizeof(name);
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString",
                       RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS) {
        return "unknown";
    }
    return name;
}

// Wine's ntdll says which version it is; on Windows the export is absent.
std::string WineVersion() {
    using VersionFunction = const char*(CDECL*)();
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto version = reinterpret_cast<VersionFunction>(
        reinterpret_cast<void*>(ntdll != nullptr ? ::GetProcAddress(ntdll, "wine_get_version") : nullptr));
    return version != nullptr ? version() : "none";
}

std::string Today() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute);
    return text;
}

}  // namespace

MachineInfo DescribeMachine() {
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    MachineInfo machine;
    machine.processor = ProcessorName();
    machine.processors = system.dwNumberOfProcessors;
    machine.wineVersion = WineVersion();
    machine.date = Today();
    machine.hostBits = BitsOfProcess(::GetCurrentProcessId());
    return machine;
}

unsigned BitsOfProcess(DWORD processId) {
    // A 32-bit process on 64-bit Windows runs under WOW64; without WOW64 the
    // system's own processor architecture tells.
    SYSTEM_INFO native;
    ::GetNativeSystemInfo(&native);
    if (native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL) return 32;
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    BOOL wow64 = FALSE;
    if (!process || !::IsWow64Process(process.get(), &wow64)) return 0;
    return wow64 ? 32 : 64;
}

}  // namespace vtx::bench
