// The report as tables on standard output.
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

void LatencyTable(Lines& out, const char* title, const std::vector<LatencyResult>& rows, double scale,
                  const char* unit) {
    if (rows.empty()) return;
    out.Add("\n%s (%s)\n", title, unit);
    out.Add("  %-50s %7s %10s %10s %10s   %s\n", "", "count", "median", "p90", "p99", "round medians");
    const char* format = scale == 1000 ? "%.3f" : "%.1f";
    for (const auto& row : rows) {
        std::string rounds;
        if (row.roundMediansUs.size() > 1) {
            for (double median : row.roundMediansUs) rounds += Figure(median / scale, format) + " ";
        }
        out.Add("  %-50s %7zu %10s %10s %10s   %s%s\n", row.label.c_str(), row.all.count,
                Figure(row.all.medianUs / scale, format).c_str(), Figure(row.all.p90Us / scale, format).c_str(),
                Figure(row.all.p99Us / scale, format).c_str(), rounds.c_str(),
                row.failures != 0 ? ("  FAILED " + std::to_string(row.failures)).c_str() : "");
    }
}

void Ratios(Lines& out, const Results& results) {
    const auto ratios = LatencyRatios(results);
    if (ratios.empty()) return;
    out.Add("\nLibrary / limit, latency\n");
    out.Add("  %-50s %7s %10s %10s %10s\n", "", "", "median", "p90", "p99");
    for (const auto& ratio : ratios) {
        out.Add("  %-50s %7s %10s %10s %10s\n", ratio.label.c_str(), "", Figure(ratio.median, "%.2fx").c_str(),
                Figure(ratio.p90, "%.2fx").c_str(), Figure(ratio.p99, "%.2fx").c_str());
    }
}

void Throughput(Lines& out, const Results& results) {
    const auto scaling = ThroughputScaling(results);
    if (scaling.empty()) return;
    out.Add(
        "\nThroughput, narrow, requests in flight at once (round trips/s, median of the runs; +-: half their "
        "spread)\n");
    out.Add("  %-42s %15s %15s %15s %7s %7s\n", "", "1 thread", "2 threads", "4 threads", "2/1", "4/1");
    for (const auto& row : scaling) {
        std::string cells[3];
        for (int i = 0; i < 3; ++i) {
            cells[i] = Figure(row.perSecond[i], "%.1f");
            if (std::isfinite(row.spread[i]) && row.spread[i] > 0) {
                cells[i] += " +-" + Figure(row.spread[i] * 100, "%.0f") + "%";
            }
        }
        out.Add("  %-42s %15s %15s %15s %7s %7s\n", row.label.c_str(), cells[0].c_str(), cells[1].c_str(),
                cells[2].c_str(), Figure(row.twoOverOne, "%.2f").c_str(), Figure(row.fourOverOne, "%.2f").c_str());
    }
    out.Add("\nLibrary / limit, throughput\n");
    for (const auto& ratio : ThroughputRatios(results)) {
        out.Add("  %-42s %15s %15s %15s\n", ratio.delivery.c_str(), Figure(ratio.libraryOverLimit[0], "%.3fx").c_str(),
                Figure(ratio.libraryOverLimit[1], "%.3fx").c_str(), Figure(ratio.libraryOverLimit[2], "%.3fx").c_str());
    }
}

void Memory(Lines& out, const Results& results) {
    const MemoryResult& memory = results.memory;
    if (!memory.ran || memory.samples.size() < 2) return;
    const double before = static_cast<double>(memory.samples.front().privateBytes);
    const double after = static_cast<double>(memory.samples.back().privateBytes);
    const double done = static_cast<double>(memory.samples.back().requests);
    out.Add("\nMemory, host process private bytes (vtx_sendrequest, narrow, inline; counter %s, %s)\n",
            memory.counter.c_str(), memory.counterFollowsUse ? "seen to follow 8 MB touched" : "NOT seen to move");
    out.Add("  before %.0f, after %zu requests %.0f: %+.0f bytes (%+.2f per request)\n", before,
            memory.samples.back().requests, after, after - before, done > 0 ? (after - before) / done : 0.0);
    out.Add("  readings:");
    for (const auto& sample : memory.samples) out.Add(" %zu:%.1fM", sample.requests, sample.privateBytes / 1048576.0);
    out.Add("\n  %.1f s spent in requests (%.3f ms each), %zu failures\n", memory.seconds,
            done > 0 ? memory.seconds * 1000 / done : 0.0, memory.failures);
}

void Flood(Lines& out, const Results& results) {
    const FloodResult& flood = results.flood;
    if (!flood.ran || flood.samples.size() < 2) return;
    out.Add("\nMemory under a flood: %zu wide server requests of 200 KB, callback %d ms per text (counter %s, %s)\n",
            flood.requests, flood.callbackMs, flood.counter.c_str(),
            flood.counterFollowsUse ? "seen to follow 8 MB touched" : "NOT seen to move");
    const auto line = [&](const char* title, const std::vector<MemorySample>& samples) {
        double peak = 0;
        for (const auto& sample : samples) peak = std::max(peak, static_cast<double>(sample.privateBytes));
        out.Add("  %-28s before %.1f MiB, after %.1f MiB, peak %.1f MiB; readings:", title,
                samples.front().privateBytes / 1048576.0, samples.back().privateBytes / 1048576.0, peak / 1048576.0);
        for (const auto& sample : samples) out.Add(" %zu:%.1fM", sample.requests, sample.privateBytes / 1048576.0);
        out.Add("\n");
    };
    line(flood.counter.c_str(), flood.samples);
    line("committed private (walk)", flood.walkSamples);
    out.Add("  %.1f s; %zu refused by the full queue, %zu handed to the callback meanwhile%s\n", flood.seconds,
            flood.refused, flood.delivered,
            flood.failures != 0 ? ("  FAILED " + std::to_string(flood.failures)).c_str() : "");
}

void Reload(Lines& out, const Results& results) {
    if (results.reload.empty()) return;
    out.Add("\nReload, load/unload cycles of the library\n");
    out.Add("  %-52s %10s %16s %16s %9s\n", "cycle", "cycles/s", "committed B/cyc", "reserved B/cyc", "failures");
    for (const auto& row : results.reload) {
        out.Add("  %-52s %10.1f %16.0f %16.0f %9zu\n", row.label.c_str(),
                row.seconds > 0 ? row.cycles / row.seconds : 0.0, row.committedBytesPerCycle,
                row.reservedBytesPerCycle, row.failures);
    }
}

void Steps(Lines& out, const Results& results) {
    const StepEstimate estimate = EstimateLibrarySteps(results);
    if (!estimate.available) return;
    out.Add("\nWhat the library does beyond the limit per inline round trip: estimate from the micro-timings (us)\n");
    out.Add("  %-50s %7s %10s %10s\n", "", "times", "narrow", "wide");
    for (const auto& line : estimate.lines) {
        out.Add("  %-50s %7d %10s %10s\n", line.label.c_str(), line.count,
                Figure(line.count * line.narrowUs, "%.1f").c_str(), Figure(line.count * line.wideUs, "%.1f").c_str());
    }
    out.Add("  %-50s %7s %10s %10s\n", "estimated difference", "", Figure(estimate.narrowSumUs, "%.1f").c_str(),
            Figure(estimate.wideSumUs, "%.1f").c_str());
    out.Add("  %-50s %7s %10s %10s\n", "measured: library median - limit median", "",
            Figure(estimate.narrowMeasuredUs, "%.1f").c_str(), Figure(estimate.wideMeasuredUs, "%.1f").c_str());
}

}  // namespace

std::string TextReport(const Results& results) {
    Lines out;
    const MachineInfo& machine = results.machine;
    out.Add("vtxbench: %s, %u processors, Wine %s, %s\n", machine.processor.c_str(), machine.processors,
            machine.wineVersion.c_str(), machine.date.c_str());
    out.Add("bitness: %u-bit host and library, %u-bit peer%s\n", machine.hostBits, machine.peerBits,
            machine.hostBits != machine.peerBits ? " (mixed)" : "");
    std::string settings;
    for (const auto& setting : results.settings) settings += " " + setting;
    out.Add("settings:%s\n", settings.c_str());

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
