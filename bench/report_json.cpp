// The report as JSON: the same figures as the tables, unrounded.
#include "common/json_writer.h"
#include "figures.h"
#include "report.h"

namespace vtx::bench {
namespace {

using common::JsonWriter;

void Latency(JsonWriter& json, const LatencyResult& row) {
    json.BeginObject();
    json.Member("key", row.key);
    json.Member("label", row.label);
    json.Member("count", row.all.count);
    json.Member("failures", row.failures);
    json.Member("median_us", row.all.medianUs);
    json.Member("p90_us", row.all.p90Us);
    json.Member("p99_us", row.all.p99Us);
    json.Member("min_us", row.all.minUs);
    json.Member("max_us", row.all.maxUs);
    json.Key("round_medians_us");
    json.BeginArray();
    for (double median : row.roundMediansUs) json.Number(median);
    json.EndArray();
    json.EndObject();
}

void Settings(JsonWriter& json, const Results& results) {
    json.Key("settings");
    json.BeginObject();
    for (const auto& setting : results.settings) {
        const auto equals = setting.find('=');
        const std::string name = setting.substr(0, equals);
        const std::string value = setting.substr(equals + 1);
        if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos) {
            json.Member(name, std::stoull(value));
        } else {
            json.Member(name, value);
        }
    }
    json.EndObject();
}

void Throughput(JsonWriter& json, const Results& results) {
    json.Key("throughput");
    json.BeginArray();
    for (const auto& row : results.throughput) {
        json.BeginObject();
        json.Member("key", row.key);
        json.Member("label", row.label);
        json.Member("threads", row.threads);
        json.Member("round_trips_per_second", row.Median());
        json.Member("failures", row.failures);
        json.Key("runs");
        json.BeginArray();
        for (double perSecond : row.runsPerSecond) json.Number(perSecond);
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();

    json.Key("throughput_scaling");
    json.BeginArray();
    for (const auto& row : ThroughputScaling(results)) {
        json.BeginObject();
        json.Member("key", row.key);
        json.Member("two_over_one", row.twoOverOne);
        json.Member("four_over_one", row.fourOverOne);
        json.EndObject();
    }
    json.EndArray();

    json.Key("throughput_ratios");
    json.BeginArray();
    for (const auto& ratio : ThroughputRatios(results)) {
        json.BeginObject();
        json.Member("delivery", ratio.delivery);
        json.Member("library_over_limit_1_thread", ratio.libraryOverLimit[0]);
        json.Member("library_over_limit_2_threads", ratio.libraryOverLimit[1]);
        json.Member("library_over_limit_4_threads", ratio.libraryOverLimit[2]);
        json.EndObject();
    }
    json.EndArray();
}

void Memory(JsonWriter& json, const MemoryResult& memory) {
    json.Key("memory");
    if (!memory.ran || memory.samples.size() < 2) {
        json.BeginObject();
        json.EndObject();
        return;
    }
    json.BeginObject();
    json.Member("requests", memory.samples.back().requests);
    json.Member("counter", memory.counter);
    json.Member("counter_follows_use", memory.counterFollowsUse);
    json.Member("private_bytes_before", memory.samples.front().privateBytes);
    json.Member("private_bytes_after", memory.samples.back().privateBytes);
    json.Member("growth_bytes", static_cast<double>(memory.samples.back().privateBytes) -
                                    static_cast<double>(memory.samples.front().privateBytes));
    json.Member("seconds_in_requests", memory.seconds);
    json.Member("failures", memory.failures);
    json.Key("samples");
    json.BeginArray();
    for (const auto& sample : memory.samples) {
        json.BeginObject();
        json.Member("requests", sample.requests);
        json.Member("private_bytes", sample.privateBytes);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void Flood(JsonWriter& json, const FloodResult& flood) {
    json.Key("flood");
    json.BeginObject();
    if (flood.ran && flood.samples.size() >= 2) {
        json.Member("requests", flood.requests);
        json.Member("refused", flood.refused);
        json.Member("delivered", flood.delivered);
        json.Member("callback_ms", flood.callbackMs);
        json.Member("seconds", flood.seconds);
        json.Member("failures", flood.failures);
        json.Member("counter", flood.counter);
        json.Member("counter_follows_use", flood.counterFollowsUse);
        const auto samples = [&](const char* key, const std::vector<MemorySample>& list) {
            json.Key(key);
            json.BeginArray();
            for (const auto& sample : list) {
                json.BeginObject();
                json.Member("requests", sample.requests);
                json.Member("private_bytes", sample.privateBytes);
                json.EndObject();
            }
            json.EndArray();
        };
        samples("samples", flood.samples);
        samples("committed_private_samples", flood.walkSamples);
    }
    json.EndObject();
}

void Reload(JsonWriter& json, const std::vector<ReloadResult>& rows) {
    json.Key("reload");
    json.BeginArray();
    for (const auto& row : rows) {
        json.BeginObject();
        json.Member("key", row.key);
        json.Member("label", row.label);
        json.Member("cycles", row.cycles);
        json.Member("seconds", row.seconds);
        json.Member("cycles_per_second", row.seconds > 0 ? row.cycles / row.seconds : 0.0);
        json.Member("committed_bytes_per_cycle", row.committedBytesPerCycle);
        json.Member("reserved_bytes_per_cycle", row.reservedBytesPerCycle);
        json.Member("failures", row.failures);
        json.EndObject();
    }
    json.EndArray();
}

void Steps(JsonWriter& json, const Results& results) {
    const StepEstimate estimate = EstimateLibrarySteps(results);
    json.Key("library_steps");
    json.BeginObject();
    if (estimate.available) {
        json.Key("lines");
        json.BeginArray();
        for (const auto& line : estimate.lines) {
            json.BeginObject();
            json.Member("step", line.label);
            json.Member("times", line.count);
            json.Member("narrow_us", line.count * line.narrowUs);
            json.Member("wide_us", line.count * line.wideUs);
            json.EndObject();
        }
        json.EndArray();
        json.Member("narrow_estimate_us", estimate.narrowSumUs);
        json.Member("wide_estimate_us", estimate.wideSumUs);
        json.Member("narrow_measured_extra_us", estimate.narrowMeasuredUs);
        json.Member("wide_measured_extra_us", estimate.wideMeasuredUs);
    }
    json.EndObject();
}

}  // namespace

std::string JsonReport(const Results& results) {
    JsonWriter json;
    json.BeginObject();
    json.Key("machine");
    json.BeginObject();
    json.Member("processor", results.machine.processor);
    json.Member("processors", results.machine.processors);
    json.Member("wine", results.machine.wineVersion);
    json.Member("date", results.machine.date);
    json.Member("host_bits", results.machine.hostBits);
    json.Member("peer_bits", results.machine.peerBits);
    json.EndObject();
    Settings(json, results);

    json.Key("latency");
    json.BeginArray();
    for (const auto& row : results.latency) Latency(json, row);
    json.EndArray();

    json.Key("latency_ratios");
    json.BeginArray();
    for (const auto& ratio : LatencyRatios(results)) {
        json.BeginObject();
        json.Member("pairing", ratio.label);
        json.Member("median", ratio.median);
        json.Member("p90", ratio.p90);
        json.Member("p99", ratio.p99);
        json.EndObject();
    }
    json.EndArray();

    Throughput(json, results);
    Memory(json, results.memory);
    Flood(json, results.flood);
    Reload(json, results.reload);

    json.Key("micro");
    json.BeginArray();
    for (const auto& row : results.micro) Latency(json, row);
    json.EndArray();
    Steps(json, results);
    json.EndObject();
    return json.Text();
}

}  // namespace vtx::bench
