// The report for people: Markdown tables on standard output, laid out as
// docs/performance.md keeps them, so a run's tables go into the history as
// they are. Plain ASCII ("x", "us"), for any console.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "figures.h"
#include "report.h"

namespace vtx::bench {
namespace {

class Lines {
public:
    void Add(const char* format, ...) {
        char line[512];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(line, sizeof(line), format, arguments);
        va_end(arguments);
        text_ += line;
    }
    std::string Take() { return std::move(text_); }

private:
    std::string text_;
};

// A figure or a dash where it was not measured.
std::string Figure(double value, const char* format) {
    if (!std::isfinite(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

std::string Failed(std::size_t failures) {
    return failures != 0 ? " FAILED " + std::to_string(failures) : std::string();
}

void LatencyTable(Lines& out, const char* title, const std::vector<LatencyResult>& rows, double scale,
                  const char* unit) {
    if (rows.empty()) return;
    out.Add("\n### %s (%s)\n\n", title, unit);
    out.Add("| Case | Count | Median | p90 | p99 | Round medians |\n|---|---:|---:|---:|---:|---|\n");
    const char* format = scale == 1000 ? "%.3f" : "%.1f";
    for (const auto& row : rows) {
        std::string rounds;
        for (double median : row.roundMediansUs) rounds += (rounds.empty() ? "" : ", ") + Figure(median / scale, format);
        out.Add("| %s | %zu%s | %s | %s | %s | %s |\n", row.label.c_str(), row.all.count, Failed(row.failures).c_str(),
                Figure(row.all.medianUs / scale, format).c_str(), Figure(row.all.p90Us / scale, format).c_str(),
                Figure(row.all.p99Us / scale, format).c_str(), rounds.c_str());
    }
}

void Ratios(Lines& out, const Results& results) {
    const auto ratios = LatencyRatios(results);
    if (ratios.empty()) return;
    out.Add("\n### Library / limit, latency\n\n| Pairing | Median | p90 | p99 |\n|---|---:|---:|---:|\n");
    for (const auto& ratio : ratios) {
        out.Add("| %s | %s | %s | %s |\n", ratio.label.c_str(), Figure(ratio.median, "%.2fx").c_str(),
                Figure(ratio.p90, "%.2fx").c_str(), Figure(ratio.p99, "%.2fx").c_str());
    }
}

void Throughput(Lines& out, const Results& results) {
    const auto scaling = ThroughputScaling(results);
    if (scaling.empty()) return;
    out.Add("\n### Throughput, narrow, requests in flight at once (round trips per second)\n\n");
    out.Add("Median of the runs, +- half their spread.\n\n");
    out.Add("| Series | 1 thread | 2 threads | 4 threads | 2/1 | 4/1 |\n|---|---:|---:|---:|---:|---:|\n");
    for (const auto& row : scaling) {
        std::string cells[3];
        for (int i = 0; i < 3; ++i) {
            cells[i] = Figure(row.perSecond[i], "%.1f");
            if (std::isfinite(row.spread[i]) && row.spread[i] > 0) {
                cells[i] += " +-" + Figure(row.spread[i] * 100, "%.0f") + "%";
            }
        }
        out.Add("| %s | %s | %s | %s | %s | %s |\n", row.label.c_str(), cells[0].c_str(), cells[1].c_str(),
                cells[2].c_str(), Figure(row.twoOverOne, "%.2f").c_str(), Figure(row.fourOverOne, "%.2f").c_str());
    }
    out.Add("\n| Library / limit | 1 thread | 2 threads | 4 threads |\n|---|---:|---:|---:|\n");
    for (const auto& ratio : ThroughputRatios(results)) {
        out.Add("| %s | %s | %s | %s |\n", ratio.delivery.c_str(), Figure(ratio.libraryOverLimit[0], "%.2fx").c_str(),
                Figure(ratio.libraryOverLimit[1], "%.2fx").c_str(), Figure(ratio.libraryOverLimit[2], "%.2fx").c_str());
    }
}

std::string Readings(const std::vector<MemorySample>& samples) {
    std::string text;
    for (const auto& sample : samples) {
        text += (text.empty() ? "" : ", ") + std::to_string(sample.requests) + ": " +
                Figure(sample.privateBytes / 1048576.0, "%.1f");
    }
    return text;
}

void Memory(Lines& out, const Results& results) {
    const MemoryResult& memory = results.memory;
    if (!memory.ran || memory.samples.size() < 2) return;
    const double before = static_cast<double>(memory.samples.front().privateBytes);
    const double after = static_cast<double>(memory.samples.back().privateBytes);
    const double done = static_cast<double>(memory.samples.back().requests);
    out.Add("\n### Memory, host process private bytes\n\n");
    out.Add("`vtx_sendrequest`, narrow, inline; counter %s, %s.\n\n", memory.counter.c_str(),
            memory.counterFollowsUse ? "seen to follow 8 MB touched" : "NOT seen to move");
    out.Add("| Before | After %zu requests | Growth | Per request | Seconds | Failures |\n", memory.samples.back().requests);
    out.Add("|---:|---:|---:|---:|---:|---:|\n| %.0f | %.0f | %+.0f | %+.2f | %.1f | %zu |\n", before, after,
            after - before, done > 0 ? (after - before) / done : 0.0, memory.seconds, memory.failures);
    out.Add("\nReadings (requests: MiB): %s\n", Readings(memory.samples).c_str());
}

void Flood(Lines& out, const Results& results) {
    const FloodResult& flood = results.flood;
    if (!flood.ran || flood.samples.size() < 2) return;
    out.Add("\n### Memory under a flood\n\n");
    out.Add("%zu wide server requests of 200 KB, a callback that takes %d ms per text; counter %s, %s.\n\n",
            flood.requests, flood.callbackMs, flood.counter.c_str(),
            flood.counterFollowsUse ? "seen to follow 8 MB touched" : "NOT seen to move");
    out.Add("| Reading | Before (MiB) | After (MiB) | Peak (MiB) |\n|---|---:|---:|---:|\n");
    const auto line = [&](const char* title, const std::vector<MemorySample>& samples) {
        double peak = 0;
        for (const auto& sample : samples) peak = std::max(peak, static_cast<double>(sample.privateBytes));
        out.Add("| %s | %.1f | %.1f | %.1f |\n", title, samples.front().privateBytes / 1048576.0,
                samples.back().privateBytes / 1048576.0, peak / 1048576.0);
    };
    line(flood.counter.c_str(), flood.samples);
    line("committed private (walk)", flood.walkSamples);
    out.Add("\n%.1f s; %zu refused by the full queue, %zu handed to the callback meanwhile%s.\n", flood.seconds,
            flood.refused, flood.delivered, Failed(flood.failures).c_str());
    out.Add("Readings of %s (requests: MiB): %s\n", flood.counter.c_str(), Readings(flood.samples).c_str());
}

void Reload(Lines& out, const Results& results) {
    if (results.reload.empty()) return;
    out.Add("\n### Reload, load/unload cycles of the library\n\n");
    out.Add("| Cycle | Cycles per second | Committed bytes per cycle | Reserved bytes per cycle | Failures |\n");
    out.Add("|---|---:|---:|---:|---:|\n");
    for (const auto& row : results.reload) {
        out.Add("| %s | %.1f | %.0f | %.0f | %zu |\n", row.label.c_str(), row.seconds > 0 ? row.cycles / row.seconds : 0.0,
                row.committedBytesPerCycle, row.reservedBytesPerCycle, row.failures);
    }
}

void Steps(Lines& out, const Results& results) {
    const StepEstimate estimate = EstimateLibrarySteps(results);
    if (!estimate.available) return;
    out.Add("\n### What the library does beyond the limit per inline round trip (us, from the micro-timings)\n\n");
    out.Add("| Step | Times | Narrow | Wide |\n|---|---:|---:|---:|\n");
    for (const auto& line : estimate.lines) {
        out.Add("| %s | %d | %s | %s |\n", line.label.c_str(), line.count, Figure(line.count * line.narrowUs, "%.1f").c_str(),
                Figure(line.count * line.wideUs, "%.1f").c_str());
    }
    out.Add("| **estimate** | | %s | %s |\n", Figure(estimate.narrowSumUs, "%.1f").c_str(),
            Figure(estimate.wideSumUs, "%.1f").c_str());
    out.Add("| **measured** (library median - limit median) | | %s | %s |\n",
            Figure(estimate.narrowMeasuredUs, "%.1f").c_str(), Figure(estimate.wideMeasuredUs, "%.1f").c_str());
}

}  // namespace

std::string TextReport(const Results& results) {
    Lines out;
    const MachineInfo& machine = results.machine;
    out.Add("## vtxbench: %s, %u processors, Wine %s, %s\n\n", machine.processor.c_str(), machine.processors,
            machine.wineVersion.c_str(), machine.date.c_str());
    out.Add("%u-bit host and library, %u-bit peer%s.\n", machine.hostBits, machine.peerBits,
            machine.hostBits != machine.peerBits ? " (mixed)" : "");
    std::string settings;
    for (const auto& setting : results.settings) settings += " " + setting;
    out.Add("Settings:%s.\n", settings.c_str());

    std::vector<LatencyResult> requests, callbacks;
    for (const auto& row : results.latency) {
        (row.key.find("callback") != std::string::npos ? callbacks : requests).push_back(row);
    }
    LatencyTable(out, "Round trip, one request in flight", requests, 1000, "ms");
    LatencyTable(out, "Server request to host callback", callbacks, 1000, "ms");
    Ratios(out, results);
    Throughput(out, results);
    Memory(out, results);
    Flood(out, results);
    Reload(out, results);
    LatencyTable(out, "Micro-timings", results.micro, 1, "us");
    Steps(out, results);
    return out.Take();
}

}  // namespace vtx::bench
