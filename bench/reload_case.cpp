#include "reload_case.h"

#include <string>

#include "stopwatch.h"
#include "support/bridge_library.h"

namespace vtx::bench {
namespace {

constexpr int kWarmup = 3;

struct PrivateMemory {
    std::uint64_t committed = 0;
    std::uint64_t reserved = 0;  // reserved or committed
};

PrivateMemory ReadPrivateMemory() {
    PrivateMemory memory;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* address = nullptr; ::VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.RegionSize == 0) break;
        if (region.Type != MEM_PRIVATE || region.State == MEM_FREE) continue;
        memory.reserved += region.RegionSize;
        if (region.State == MEM_COMMIT) memory.committed += region.RegionSize;
    }
    return memory;
}

// One cycle; false when the library did not load or the session failed.
bool Cycle(bool withSession) {
    test::BridgeLibrary library;
    if (!library.Loaded()) return false;
    if (!withSession) return true;
    const bool opened = library.init(0, "", 1, nullptr) == VTX_RESULT_OK;
    return opened && library.sendrequest("reload", 6) != nullptr;
}

ReloadResult Measure(const char* key, const char* label, bool withSession, int cycles) {
    ReloadResult result;
    result.key = key;
    result.label = label;
    result.cycles = cycles;
    for (int i = 0; i < kWarmup; ++i) Cycle(withSession);
    const PrivateMemory before = ReadPrivateMemory();
    const long long start = Ticks();
    for (int i = 0; i < cycles; ++i) {
        if (!Cycle(withSession)) ++result.failures;
    }
    result.seconds = MicrosecondsSince(start) / 1e6;
    ::Sleep(200);  // ended threads finish their exit after the unload
    const PrivateMemory after = ReadPrivateMemory();
    result.committedBytesPerCycle =
        (static_cast<double>(after.committed) - static_cast<double>(before.committed)) / cycles;
    result.reservedBytesPerCycle =
        (static_cast<double>(after.reserved) - static_cast<double>(before.reserved)) / cycles;
    return result;
}

}  // namespace

void RunReloadCases(BenchContext& bench) {
    const int cycles = bench.options.reloadCycles;
    Progress("reload, %d load/unload cycles each: nothing used, then with a session\n", cycles);
    bench.peer.Use(Delivery::Inline);
    bench.results.reload.push_back(Measure("reload.plain", "LoadLibrary, FreeLibrary", false, cycles));
    bench.results.reload.push_back(
        Measure("reload.session", "LoadLibrary, vtx_init, vtx_sendrequest, FreeLibrary", true, cycles));
}

}  // namespace vtx::bench
