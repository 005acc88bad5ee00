#include "machine_info.h"

#include <windows.h>

#include <cstdio>

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
    return machine;
}

}  // namespace vtx::bench
