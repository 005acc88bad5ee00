#include "results.h"

#include <algorithm>
#include <cmath>

namespace vtx::bench {
namespace {

// Nearest rank: the smallest sample with at least `fraction` of all at or below it.
double Percentile(const std::vector<double>& sorted, double fraction) {
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

}  // namespace

LatencySummary Summarize(std::vector<double> samplesUs) {
    LatencySummary summary;
    if (samplesUs.empty()) return summary;
    std::sort(samplesUs.begin(), samplesUs.end());
    summary.count = samplesUs.size();
    summary.medianUs = Percentile(samplesUs, 0.5);
    summary.p90Us = Percentile(samplesUs, 0.9);
    summary.p99Us = Percentile(samplesUs, 0.99);
    summary.minUs = samplesUs.front();
    summary.maxUs = samplesUs.back();
    return summary;
}

LatencySummary LatencyRounds::AddRound(const std::vector<double>& roundUs) {
    const LatencySummary summary = Summarize(roundUs);
    roundMediansUs.push_back(summary.medianUs);
    samplesUs.insert(samplesUs.end(), roundUs.begin(), roundUs.end());
    return summary;
}

LatencyResult LatencyRounds::Finish(std::string key, std::string label) {
    LatencyResult result;
    result.key = std::move(key);
    result.label = std::move(label);
    result.all = Summarize(std::move(samplesUs));
    result.roundMediansUs = std::move(roundMediansUs);
    result.failures = failures;
    return result;
}

double ThroughputResult::Median() const {
    if (runsPerSecond.empty()) return 0;
    std::vector<double> sorted = runsPerSecond;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    return sorted.size() % 2 != 0 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

const LatencyResult* Results::FindLatency(const std::string& key) const {
    for (const auto& result : latency) {
        if (result.key == key) return &result;
    }
    return nullptr;
}

const ThroughputResult* Results::FindThroughput(const std::string& key, int threads) const {
    for (const auto& result : throughput) {
        if (result.key == key && result.threads == threads) return &result;
    }
    return nullptr;
}

const std::vector<Pairing>& LatencyPairings() {
    static const std::vector<Pairing> pairings{
        {"narrow inline", "library.narrow.inline", "limit.narrow.inline"},
        {"narrow late", "library.narrow.late", "limit.narrow.late"},
        {"wide inline", "library.wide.inline", "limit.wide.inline"},
        {"wide late", "library.wide.late", "limit.wide.late"},
        {"callback", "library.callback", "limit.callback"},
        {"callback burst (all handed over)", "library.callback.burst", "limit.callback.burst"},
    };
    return pairings;
}

}  // namespace vtx::bench
