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
    int iterations = 0;
    int warmup = 0;
    std::function<bool()> roundTrip;
    LatencyRounds rounds;
};

LatencyCase MakeCase(const char* key, const char* label, Delivery delivery, int iterations, int warmup,
                     std::function<bool()> roundTrip) {
    LatencyCase made;
    made.key = key;
    made.label = label;
    made.delivery = delivery;
    made.iterations = iterations;
    made.warmup = warmup;
    made.roundTrip = std::move(roundTrip);
    return made;
}

// One round of every case the peer answers with `delivery`. Their round
// trips are shuffled together, so whatever else the machine does at a given
// moment falls on the library and on the limit alike.
void RunRound(BenchContext& bench, std::vector<LatencyCase*>& group, Delivery delivery, std::mt19937& random) {
    if (group.empty()) return;
    if (!bench.peer.Use(delivery)) {
        for (LatencyCase* latencyCase : group) {
            latencyCase->rounds.failures += static_cast<std::size_t>(latencyCase->iterations);
        }
        return;
    }
    std::vector<std::size_t> schedule;
    for (std::size_t index = 0; index < group.size(); ++index) {
        LatencyCase& latencyCase = *group[index];
        for (int i = 0; i < latencyCase.warmup; ++i) latencyCase.roundTrip();
        schedule.insert(schedule.end(), static_cast<std::size_t>(latencyCase.iterations), index);
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
    const int fast = options.iterations;
    const int late = options.lateIterations;
    const int warm = options.warmup;
    const int lateWarm = (options.warmup + 4) / 5;
    LibraryClient& library = bench.library;

    std::vector<LatencyCase> cases;
    if (options.Runs("limit")) {
        cases.push_back(MakeCase("limit.narrow.inline", "limit narrow inline", Delivery::Inline, fast, warm,
                                 rawTrip(Form::Narrow)));
        cases.push_back(
            MakeCase("limit.wide.inline", "limit wide inline", Delivery::Inline, fast, warm, rawTrip(Form::Wide)));
    }
    if (options.Runs("library")) {
        cases.push_back(MakeCase("library.narrow.inline", "library narrow inline (vtx_sendrequest)", Delivery::Inline,
                                 fast, warm, [&library] { return library.RequestNarrow(); }));
        cases.push_back(MakeCase("library.wide.inline", "library wide inline (vtx_sendrequestw)", Delivery::Inline,
                                 fast, warm, [&library] { return library.RequestWide(); }));
    }
    if (options.Runs("limit")) {
        cases.push_back(
            MakeCase("limit.narrow.late", "limit narrow late", Delivery::Late, fast, warm, rawTrip(Form::Narrow)));
        cases.push_back(
            MakeCase("limit.wide.late", "limit wide late", Delivery::Late, fast, warm, rawTrip(Form::Wide)));
    }
    if (options.Runs("library")) {
        cases.push_back(MakeCase("library.narrow.late", "library narrow late (vtx_sendrequest)", Delivery::Late, late,
                                 lateWarm, [&library] { return library.RequestNarrow(); }));
        cases.push_back(MakeCase("library.wide.late", "library wide late (vtx_sendrequestw)", Delivery::Late, late,
                                 lateWarm, [&library] { return library.RequestWide(); }));
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
