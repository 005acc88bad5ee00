// The figures of one benchmark run, shared by the cases that fill them and
// the text and JSON reports that print them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vtx::bench {

// Latencies in microseconds; percentiles by nearest rank.
struct LatencySummary {
    std::size_t count = 0;
    double medianUs = 0;
    double p90Us = 0;
    double p99Us = 0;
    double minUs = 0;
    double maxUs = 0;
};

LatencySummary Summarize(std::vector<double> samplesUs);

// One latency case over all its rounds; the medians of the single rounds
// show how much the shared machine moved the figures.
struct LatencyResult {
    std::string key;    // e.g. "library.narrow.inline"
    std::string label;  // e.g. "library narrow inline (vtx_sendrequest)"
    LatencySummary all;
    std::vector<double> roundMediansUs;
    std::size_t failures = 0;  // round trips that failed or answered wrongly
};

// A latency case while its rounds run: every sample, pooled over the
// rounds, and each round's median. The latency, callback and micro cases
// all fill their figures through it.
struct LatencyRounds {
    std::vector<double> samplesUs;
    std::vector<double> roundMediansUs;
    std::size_t failures = 0;

    // Adds one round's samples; returns that round's summary.
    LatencySummary AddRound(const std::vector<double>& roundUs);
    // The case over all its rounds; the samples go into it.
    LatencyResult Finish(std::string key, std::string label);
};

// Round trips per second of one thread count, one figure per run (two
// runs per round).
struct ThroughputResult {
    std::string key;  // e.g. "library.inline"
    std::string label;
    int threads = 1;
    std::vector<double> runsPerSecond;
    std::size_t failures = 0;
    double Median() const;
};

struct MemorySample {
    std::size_t requests = 0;
    std::uint64_t privateBytes = 0;
};

struct MemoryResult {
    bool ran = false;
    std::size_t requests = 0;           // asked for
    std::vector<MemorySample> samples;  // first: before, last: after
    double seconds = 0;
    std::size_t failures = 0;
    std::string counter;             // the counter read: PrivateUsage, or PagefileUsage where that is empty
    bool counterFollowsUse = false;  // it grew with 8 MB touched before the run
};

// The host's memory while the peer floods the library with wide server
// requests faster than a slow callback takes them.
struct FloodResult {
    bool ran = false;
    std::size_t requests = 0;   // sent
    std::size_t refused = 0;    // the bridge window answered 0
    std::size_t delivered = 0;  // callback calls during the flood
    std::size_t failures = 0;   // sends that did not return in time
    int callbackMs = 0;
    double seconds = 0;
    std::string counter;  // as MemoryResult
    bool counterFollowsUse = false;
    std::vector<MemorySample> samples;      // the counter
    std::vector<MemorySample> walkSamples;  // committed private pages, by a walk of the address space
};

// Load/unload cycles of the library, one way.
struct ReloadResult {
    std::string key;
    std::string label;
    int cycles = 0;
    double seconds = 0;
    std::size_t failures = 0;
    // Private memory left per cycle: committed, and reserved or committed.
    double committedBytesPerCycle = 0;
    double reservedBytesPerCycle = 0;
};

struct MachineInfo {
    std::string processor;
    unsigned processors = 0;
    std::string wineVersion;
    std::string date;
    // The bitness of vtxbench (and so of the library) and of the peer it
    // talked to: 32 or 64, 0 when unknown. They differ in a mixed run.
    unsigned hostBits = 0;
    unsigned peerBits = 0;
};

struct Results {
    MachineInfo machine;
    std::vector<std::string> settings;  // "name=value", echoed into both reports
    std::vector<LatencyResult> latency;
    std::vector<ThroughputResult> throughput;
    MemoryResult memory;
    FloodResult flood;
    std::vector<ReloadResult> reload;
    std::vector<LatencyResult> micro;

    const LatencyResult* FindLatency(const std::string& key) const;
    const ThroughputResult* FindThroughput(const std::string& key, int threads) const;
};

// A library figure next to the limit it is measured against.
struct Pairing {
    std::string label;
    std::string library;
    std::string limit;
};
const std::vector<Pairing>& LatencyPairings();

}  // namespace vtx::bench
