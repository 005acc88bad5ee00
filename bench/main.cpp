// vtxbench.exe: the library's figures next to the transport's own limit, in
// one run on one machine. See --help and docs/performance.md.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "bench_context.h"
#include "callback_cases.h"
#include "flood_case.h"
#include "latency_cases.h"
#include "machine_info.h"
#include "memory_case.h"
#include "micro_timings.h"
#include "reload_case.h"
#include "report.h"
#include "sender_process.h"
#include "throughput_cases.h"

namespace vtx::bench {
namespace {

std::size_t CountFailures(const Results& results) {
    std::size_t failures = results.memory.failures + results.flood.failures;
    for (const auto& row : results.latency) failures += row.failures;
    for (const auto& row : results.throughput) failures += row.failures;
    for (const auto& row : results.reload) failures += row.failures;
    return failures;
}

bool WriteFile(const std::wstring& path, const std::string& text) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

int Run(const Options& options) {
    Results results;
    results.machine = DescribeMachine();
    results.settings = options.Describe();

    RawHost raw;
    PeerRunner peer;
    LibraryClient library;
    if (!raw.Ready()) {
        std::fprintf(stderr, "vtxbench: cannot create the minimal host's window\n");
        return 2;
    }
    if (!library.Loaded()) {
        std::fprintf(stderr, "vtxbench: cannot load vtxbridge.dll next to vtxbench.exe, or resolve its exports\n");
        return 2;
    }
    if (!peer.Use(Delivery::Inline)) {
        std::fprintf(stderr, "vtxbench: vtxpeer.exe (next to vtxbench.exe) did not start or show its window\n");
        return 2;
    }
    results.machine.peerBits = BitsOfProcess(peer.ProcessId());
    if (!library.OpenPolling()) {
        std::fprintf(stderr, "vtxbench: vtx_init did not open a session with the peer\n");
        return 2;
    }

    BenchContext bench{options, peer, raw, library, results};
    // The quiet steps first; the callback last, since the library's worker
    // polls from then on.
    if (options.Runs("micro")) RunMicroTimings(bench);
    if (options.Runs("limit") || options.Runs("library")) RunLatencyCases(bench);
    if (options.Runs("throughput")) RunThroughputCases(bench);
    if (options.Runs("memory")) RunMemoryCase(bench);
    if (options.Runs("callback")) RunCallbackCases(bench);
    if (options.Runs("flood")) RunFloodCase(bench);
    library.Close();
    // Last: every cycle must really unload, so the benchmark's own load goes first.
    if (options.Runs("reload")) {
        library.Unload();
        RunReloadCases(bench);
    }

    const std::string report = TextReport(results);
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);
    if (!options.jsonPath.empty() && !WriteFile(options.jsonPath, JsonReport(results))) {
        std::fprintf(stderr, "vtxbench: cannot write the JSON file\n");
        return 2;
    }
    const std::size_t failures = CountFailures(results);
    if (failures != 0) {
        std::fprintf(stderr, "vtxbench: %zu round trips or deliveries failed (see FAILED above)\n", failures);
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace vtx::bench

int wmain(int argc, wchar_t** argv) {
    using namespace vtx::bench;
    // The benchmark's own sending process (see sender_process.h).
    if (argc == 3 && std::wcscmp(argv[1], L"--sender") == 0) return SenderProcess::Serve(argv[2]);
    const Options options = ParseOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "vtxbench: %s (see vtxbench --help)\n", options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return Run(options);
}
