#include "throughput_cases.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "stopwatch.h"

namespace vtx::bench {
namespace {

constexpr int kThreadCounts[] = {1, 2, 4};

struct RunOutcome {
    double perSecond = 0;
    std::size_t completed = 0;
    std::size_t failures = 0;
};

// One round trip on behalf of thread `index`; true when answered correctly.
using ThreadTrip = std::function<bool(int index)>;

RunOutcome RunThreads(int threads, int durationMs, const ThreadTrip& trip) {
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> completed{0};
    std::atomic<std::size_t> failures{0};
    UniqueHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));

    std::vector<std::thread> workers;
    for (int index = 0; index < threads; ++index) {
        workers.emplace_back([&, index] {
            ::WaitForSingleObject(go.get(), INFINITE);
            while (!stop.load()) {
                if (trip(index)) {
                    ++completed;
                } else {
                    ++failures;
                }
            }
        });
    }
    ::Sleep(50);  // every thread is waiting at the start line
    const long long start = Ticks();
    ::SetEvent(go.get());
    ::Sleep(static_cast<DWORD>(durationMs));
    stop = true;
    for (auto& worker : workers) worker.join();
    // Round trips in flight at the stop finish and count: the time runs on
    // until the last of them is back.
    const double seconds = MicrosecondsSince(start) / 1e6;

    RunOutcome outcome;
    outcome.completed = completed.load();
    outcome.failures = failures.load();
    outcome.perSecond = static_cast<double>(outcome.completed) / seconds;
    return outcome;
}

struct Series {
    const char* key;
    const char* label;
    Delivery delivery;
    bool viaLibrary;
};

}  // namespace

void RunThroughputCases(BenchContext& bench) {
    const Options& options = bench.options;
    // Pairs: the limit, then the library, for each way the peer answers.
    std::vector<Series> series;
    for (const Delivery delivery : {Delivery::Inline, Delivery::Late}) {
        const bool isInline = delivery == Delivery::Inline;
        series.push_back(
            {isInline ? "limit.inline" : "limit.late", isInline ? "limit inline" : "limit late", delivery, false});
        series.push_back({isInline ? "library.inline" : "library.late",
                          isInline ? "library inline (vtx_sendrequestparam)" : "library late (vtx_sendrequestparam)",
                          delivery, true});
    }

    std::vector<std::unique_ptr<RawHost::Sender>> senders;
    for (int i = 0; i < 4; ++i) senders.push_back(std::make_unique<RawHost::Sender>());
    const ThreadTrip rawTrip = [&bench, &senders](int index) {
        return bench.raw.RoundTrip(*senders[static_cast<std::size_t>(index)], bench.peer.Window(), Form::Narrow);
    };
    const ThreadTrip libraryTrip = [&bench](int) { return bench.library.RequestIntoBuffer(); };

    std::vector<ThroughputResult> results;
    for (const auto& entry : series) {
        for (const int threads : kThreadCounts) {
            ThroughputResult result;
            result.key = entry.key;
            result.label = entry.label;
            result.threads = threads;
            results.push_back(std::move(result));
        }
    }

    // Per round and thread count, the limit and the library run in the order
    // limit, library, library, limit: a load that rises or falls steadily
    // meanwhile weighs on both alike.
    const auto runOne = [&](std::size_t index, int threads) {
        const Series& entry = series[index / 3];
        ThroughputResult& result = results[index];
        if (!bench.peer.Use(entry.delivery)) return;
        const ThreadTrip& trip = entry.viaLibrary ? libraryTrip : rawTrip;
        // Untimed: one round trip per thread first, so no thread pays for
        // setting anything up inside the timed run.
        for (int i = 0; i < threads; ++i) trip(i);

        const RunOutcome outcome = RunThreads(threads, options.durationMs, trip);
        result.runsPerSecond.push_back(outcome.perSecond);
        result.failures += outcome.failures;
        Progress("  %-40s %d thread%s %9.1f round trips/s\n", entry.label, threads, threads == 1 ? " " : "s",
                 outcome.perSecond);
    };
    for (int round = 1; round <= options.rounds; ++round) {
        Progress("throughput, round %d of %d\n", round, options.rounds);
        for (std::size_t limitSeries = 0; limitSeries < series.size(); limitSeries += 2) {
            for (std::size_t t = 0; t < 3; ++t) {
                const std::size_t limitIndex = limitSeries * 3 + t;
                const std::size_t libraryIndex = (limitSeries + 1) * 3 + t;
                for (const std::size_t index : {limitIndex, libraryIndex, libraryIndex, limitIndex}) {
                    runOne(index, kThreadCounts[t]);
                }
            }
        }
    }
    for (auto& result : results) bench.results.throughput.push_back(std::move(result));
}

}  // namespace vtx::bench
