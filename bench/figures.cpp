#include "figures.h"

#include <algorithm>
#include <limits>

namespace vtx::bench {
namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
constexpr int kThreadCounts[] = {1, 2, 4};

double Ratio(double numerator, double denominator) {
    return denominator > 0 && numerator > 0 ? numerator / denominator : kMissing;
}

double MicroMedian(const Results& results, const std::string& key) {
    for (const auto& micro : results.micro) {
        if (micro.key == key) return micro.all.medianUs;
    }
    return kMissing;
}

double MedianOf(const Results& results, const std::string& key) {
    const LatencyResult* found = results.FindLatency(key);
    return found != nullptr && found->all.count > 0 ? found->all.medianUs : kMissing;
}

}  // namespace

std::vector<LatencyRatio> LatencyRatios(const Results& results) {
    std::vector<LatencyRatio> ratios;
    for (const auto& pairing : LatencyPairings()) {
        const LatencyResult* library = results.FindLatency(pairing.library);
        const LatencyResult* limit = results.FindLatency(pairing.limit);
        if (library == nullptr && limit == nullptr) continue;
        LatencyRatio ratio;
        ratio.label = pairing.label;
        ratio.median = ratio.p90 = ratio.p99 = kMissing;
        if (library != nullptr && limit != nullptr) {
            ratio.median = Ratio(library->all.medianUs, limit->all.medianUs);
            ratio.p90 = Ratio(library->all.p90Us, limit->all.p90Us);
            ratio.p99 = Ratio(library->all.p99Us, limit->all.p99Us);
        }
        ratios.push_back(ratio);
    }
    return ratios;
}

std::vector<Scaling> ThroughputScaling(const Results& results) {
    std::vector<Scaling> all;
    for (const auto& result : results.throughput) {
        if (std::any_of(all.begin(), all.end(), [&](const Scaling& s) { return s.key == result.key; })) continue;
        Scaling scaling;
        scaling.key = result.key;
        scaling.label = result.label;
        for (int i = 0; i < 3; ++i) {
            const ThroughputResult* found = results.FindThroughput(result.key, kThreadCounts[i]);
            scaling.perSecond[i] = scaling.spread[i] = kMissing;
            if (found == nullptr || found->runsPerSecond.empty()) continue;
            const double median = found->Median();
            const auto [lowest, highest] =
                std::minmax_element(found->runsPerSecond.begin(), found->runsPerSecond.end());
            scaling.perSecond[i] = median;
            scaling.spread[i] = median > 0 ? (*highest - *lowest) / 2 / median : kMissing;
        }
        scaling.twoOverOne = Ratio(scaling.perSecond[1], scaling.perSecond[0]);
        scaling.fourOverOne = Ratio(scaling.perSecond[2], scaling.perSecond[0]);
        all.push_back(scaling);
    }
    return all;
}

std::vector<ThroughputRatio> ThroughputRatios(const Results& results) {
    std::vector<ThroughputRatio> ratios;
    for (const char* delivery : {"inline", "late"}) {
        ThroughputRatio ratio;
        ratio.delivery = delivery;
        bool any = false;
        for (int i = 0; i < 3; ++i) {
            const ThroughputResult* library =
                results.FindThroughput(std::string("library.") + delivery, kThreadCounts[i]);
            const ThroughputResult* limit = results.FindThroughput(std::string("limit.") + delivery, kThreadCounts[i]);
            ratio.libraryOverLimit[i] =
                library != nullptr && limit != nullptr ? Ratio(library->Median(), limit->Median()) : kMissing;
            any = any || library != nullptr;
        }
        if (any) ratios.push_back(ratio);
    }
    return ratios;
}

StepEstimate EstimateLibrarySteps(const Results& results) {
    StepEstimate estimate;
    if (results.micro.empty()) return estimate;
    estimate.available = true;
    // The frame of one inline round trip: a blank request (the spare), its
    // ID, the registration, filing and taking (in-process locks only), the
    // send to the kept peer window once its owner is checked, the answer
    // decoded;
    // less what the limit does that the library does not (it sets and waits
    // for an event).
    estimate.lines = {
        {"request envelope and answer (alive together)", 1,
         MicroMedian(results, "micro.round_trip_envelopes.narrow"),
         MicroMedian(results, "micro.round_trip_envelopes.wide")},
        {"request ID (GUID and text)", 1, MicroMedian(results, "micro.request_id.narrow"),
         MicroMedian(results, "micro.request_id.wide")},
        {"owner of the kept peer window", 1, MicroMedian(results, "micro.peer_owner"),
         MicroMedian(results, "micro.peer_owner")},
        {"less the limit's own wake (event set, waited for)", -1, MicroMedian(results, "micro.event_set_wait"),
         MicroMedian(results, "micro.event_set_wait")},
    };
    for (const auto& line : estimate.lines) {
        estimate.narrowSumUs += line.count * line.narrowUs;
        estimate.wideSumUs += line.count * line.wideUs;
    }
    estimate.narrowMeasuredUs = MedianOf(results, "library.narrow.inline") - MedianOf(results, "limit.narrow.inline");
    estimate.wideMeasuredUs = MedianOf(results, "library.wide.inline") - MedianOf(results, "limit.wide.inline");
    return estimate;
}

}  // namespace vtx::bench
