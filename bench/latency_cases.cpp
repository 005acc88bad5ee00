#include "latency_cases.h"

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "stopwatch.h"

namespace vtx::bench {
namespace {

struct LatencyCase {
    const char* key = "";
    const char* label = "";
    Delivery delivery = Delivery::Inline;
    std::function<bool()> roundTrip;
    LatencyRounds rounds;
};

// One round of every case the peer answers with `delivery`. Their round
// trips are shuffled together, so whatever else the machine does at a given
// moment falls on the library and on the limit alike.
void RunRound(BenchContext& bench, std::vector<LatencyCase*>& group, Delivery delivery, std::mt19937& random) {
    if (group.empty()) return;
    const auto iterations = static_cast<std::size_t>(bench.options.iterations);
    if (!bench.peer.Use(delivery)) {
        for (LatencyCase* latencyCase : group) latencyCase->rounds.failures += iterations;
        return;
    }
    std::vector<std::size_t> schedule;
    for (std::size_t index = 0; index < group.size(); ++index) {
        for (int i = 0; i < bench.options.warmup; ++i) group[index]->roundTrip();
        schedule.insert(schedule.end(), iterations, index);
    }
    std::shuffle(schedule.begin(), schedule.end(), random);

    std::vector<std::vector<double>> round(group.size());
    for (const std::size_t index : schedule) {
        LatencyCase& latencyCase = *group[index];
        const long long start = Ticks();
        const bool ok = latencyCase.roundTrip();
        const double elapsedUs = MicrosecondsSince(start);
        if (ok) {
            round[index].push_back(elapsedUs);
        } else {
            ++latencyCase.rounds.failures;
        }
    }
    for (std::size_t index = 0; index < group.size(); ++index) {
        LatencyCase& latencyCase = *group[index];
        const LatencySummary summary = latencyCase.rounds.AddRound(round[index]);
        Progress("  %-44s median %9.3f ms  (%zu)\n", latencyCase.label, summary.medianUs / 1000, summary.count);
    }
}

}  // namespace

void RunLatencyCases(BenchContext& bench) {
    const Options& options = bench.options;
    RawHost::Sender sender;
    const auto rawTrip = [&bench, &sender](Form form) {
        return [&bench, &sender, form] { return bench.raw.RoundTrip(sender, bench.peer.Window(), form); };
    };
    LibraryClient& library = bench.library;
    const auto narrow = [&library] { return library.RequestNarrow(); };
    const auto wide = [&library] { return library.RequestWide(); };

    std::vector<LatencyCase> cases;
    for (const Delivery delivery : {Delivery::Inline, Delivery::Late}) {
        const bool isInline = delivery == Delivery::Inline;
        if (options.Runs("limit")) {
            cases.push_back({isInline ? "limit.narrow.inline" : "limit.narrow.late",
                             isInline ? "limit narrow inline" : "limit narrow late", delivery, rawTrip(Form::Narrow), {}});
            cases.push_back({isInline ? "limit.wide.inline" : "limit.wide.late",
                             isInline ? "limit wide inline" : "limit wide late", delivery, rawTrip(Form::Wide), {}});
        }
        if (options.Runs("library")) {
            cases.push_back({isInline ? "library.narrow.inline" : "library.narrow.late",
                             isInline ? "library narrow inline (vtx_sendrequest)" : "library narrow late (vtx_sendrequest)",
                             delivery, narrow, {}});
            cases.push_back({isInline ? "library.wide.inline" : "library.wide.late",
                             isInline ? "library wide inline (vtx_sendrequestw)" : "library wide late (vtx_sendrequestw)",
                             delivery, wide, {}});
        }
    }

    // Grouped by how the peer answers, so it switches twice per round.
    std::vector<LatencyCase*> inlineGroup, lateGroup;
    for (auto& latencyCase : cases) {
        (latencyCase.delivery == Delivery::Inline ? inlineGroup : lateGroup).push_back(&latencyCase);
    }
    std::mt19937 random(2024);  // the same order on every run
    for (int round = 1; round <= options.rounds; ++round) {
        Progress("latency, round %d of %d\n", round, options.rounds);
        RunRound(bench, inlineGroup, Delivery::Inline, random);
        RunRound(bench, lateGroup, Delivery::Late, random);
    }
    for (auto& latencyCase : cases) {
        bench.results.latency.push_back(latencyCase.rounds.Finish(latencyCase.key, latencyCase.label));
    }
}

}  // namespace vtx::bench
