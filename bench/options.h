// The benchmark's command line.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace vtx::bench {

struct Options {
    int rounds = 3;               // every case runs this often, rounds interleaved
    int iterations = 800;         // per round and latency case
    int callbackIterations = 100; // per round: callback delivery, library and limit
    int durationMs = 600;         // per throughput run (four per thread count and round)
    int memoryRequests = 100000;  // requests between the two memory readings
    int burst = 1000;             // per round: server requests sent at once, callback burst case
    int floodRequests = 20000;    // wide server requests of 200 KB, flood case
    int floodCallbackMs = 5;      // the flood's slow callback: pause per text
    int reloadCycles = 300;       // load/unload cycles per reload case
    int microIterations = 2000;   // per micro-timing
    int warmup = 20;              // untimed round trips before each latency case and round
    std::set<std::string> cases;  // empty: every case
    std::wstring jsonPath;        // empty: no JSON file
    bool help = false;
    std::string error;

    bool Runs(const std::string& name) const { return cases.empty() || cases.count(name) != 0; }
    // "name=value" for each setting, for the reports.
    std::vector<std::string> Describe() const;
};

Options ParseOptions(int argc, wchar_t** argv);

extern const char kUsage[];

}  // namespace vtx::bench
