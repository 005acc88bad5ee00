#include "memory_case.h"

#include <psapi.h>

#include <string>
#include <vector>

#include "stopwatch.h"

namespace vtx::bench {
namespace {

constexpr int kSampleCount = 10;  // readings between before and after, for the trend
constexpr int kWarmup = 100;

}  // namespace

// PrivateUsage where the system fills it. Wine (8.0) answers with the short
// form of the counters and leaves it zero; PagefileUsage, which Windows
// documents as the same figure, is the one it keeps.
std::uint64_t PrivateBytes(std::string* counter) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof(counters))) {
        return 0;
    }
    if (counters.cb >= sizeof(counters) && counters.PrivateUsage != 0) {
        *counter = "PrivateUsage";
        return counters.PrivateUsage;
    }
    *counter = "PagefileUsage";
    return counters.PagefileUsage;
}

// True when the counter moves with memory this process commits and touches,
// so an unchanged reading around the requests means no growth.
bool CounterFollowsUse() {
    constexpr std::size_t kProbeBytes = 8 * 1024 * 1024;
    std::string counter;
    const std::uint64_t before = PrivateBytes(&counter);
    std::vector<char> probe(kProbeBytes, 1);
    const std::uint64_t during = PrivateBytes(&counter);
    return probe.back() == 1 && during >= before + kProbeBytes / 2;
}

// Wine answers the counters with what it keeps, which may lag; a walk of
// the address space sees every committed private page as it is.
std::uint64_t CommittedPrivateBytes() {
    std::uint64_t committed = 0;
    MEMORY_BASIC_INFORMATION region{};
    const char* address = nullptr;
    while (::VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return committed;
}

void RunMemoryCase(BenchContext& bench) {
    MemoryResult& memory = bench.results.memory;
    memory.ran = true;
    const auto requests = static_cast<std::size_t>(bench.options.memoryRequests);
    memory.requests = requests;
    Progress("memory, %zu requests (vtx_sendrequest, narrow, inline)\n", requests);

    memory.counterFollowsUse = CounterFollowsUse();
    bench.peer.Use(Delivery::Inline);
    // Whatever the first requests set up for good is not growth.
    for (int i = 0; i < kWarmup; ++i) bench.library.RequestNarrow();
    memory.samples.push_back({0, PrivateBytes(&memory.counter)});

    const std::size_t step = requests >= kSampleCount ? requests / kSampleCount : 1;
    double requestUs = 0;
    for (std::size_t done = 1; done <= requests; ++done) {
        const long long start = Ticks();
        if (!bench.library.RequestNarrow()) ++memory.failures;
        requestUs += MicrosecondsSince(start);
        if (done % step == 0 || done == requests) {
            memory.samples.push_back({done, PrivateBytes(&memory.counter)});
            Progress("  %8zu requests: %llu private bytes\n", done,
                     static_cast<unsigned long long>(memory.samples.back().privateBytes));
        }
    }
    memory.seconds = requestUs / 1e6;
}

}  // namespace vtx::bench
