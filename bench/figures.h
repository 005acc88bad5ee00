// Figures derived from the measured ones, computed once for both reports:
// library / limit ratios, how throughput scales with threads, and an
// estimate of the library's own steps per round trip from the micro-timings.
#pragma once

#include <string>
#include <vector>

#include "results.h"

namespace vtx::bench {

// Not a number where a side was not measured.
struct LatencyRatio {
    std::string label;
    double median = 0;
    double p90 = 0;
    double p99 = 0;
};
std::vector<LatencyRatio> LatencyRatios(const Results& results);

struct Scaling {
    std::string key;
    std::string label;
    double perSecond[3] = {0, 0, 0};  // 1, 2 and 4 threads; medians over the runs
    double spread[3] = {0, 0, 0};     // (highest - lowest) / 2 / median over the runs
    double twoOverOne = 0;
    double fourOverOne = 0;
};
std::vector<Scaling> ThroughputScaling(const Results& results);

struct ThroughputRatio {
    std::string delivery;                    // "inline" or "late"
    double libraryOverLimit[3] = {0, 0, 0};  // 1, 2 and 4 threads
};
std::vector<ThroughputRatio> ThroughputRatios(const Results& results);

struct StepLine {
    std::string label;
    int count = 0;  // times per round trip
    double narrowUs = 0;
    double wideUs = 0;
};
struct StepEstimate {
    bool available = false;
    std::vector<StepLine> lines;
    double narrowSumUs = 0;
    double wideSumUs = 0;
    // Library median minus limit median, inline answers.
    double narrowMeasuredUs = 0;
    double wideMeasuredUs = 0;
};
StepEstimate EstimateLibrarySteps(const Results& results);

}  // namespace vtx::bench
