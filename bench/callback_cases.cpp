#include "callback_cases.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sender_process.h"
#include "stopwatch.h"

namespace vtx::bench {
namespace {

constexpr DWORD kDeliveryWaitMs = 2000;
// The library's worker polls every 100 ms: a pause drawn from that span
// makes requests arrive at every point of its cycle, as a peer's would.
constexpr int kMaxPauseMs = 100;

// Where the host's callback leaves its time stamp. The callback is a plain
// function, so it reaches this through a static that outlives the library's
// worker (the library is unloaded before statics are destroyed).
struct Arrival {
    std::atomic<long long> ticks{0};
    UniqueHandle event{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    // A burst: calls counted, and `allArrived` set with the last one expected.
    std::atomic<long> calls{0};
    std::atomic<long> expected{-1};
    UniqueHandle allArrived{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
Arrival& Stamps() {
    static Arrival arrival;
    return arrival;
}

void VTX_CALL LibraryCallback(const void*, unsigned int) {
    Stamps().ticks = Ticks();
    ::SetEvent(Stamps().event.get());
    if (++Stamps().calls == Stamps().expected.load()) ::SetEvent(Stamps().allArrived.get());
}

// The limit's side: the least a bridge does to call the host back, a thread
// that sleeps until the pump thread's event says a request came.
class RawCallbackThread {
public:
    explicit RawCallbackThread(RawHost& raw) : raw_(raw), thread_([this] { Run(); }) {}
    ~RawCallbackThread() {
        stop_ = true;
        ::SetEvent(stopEvent_.get());
        thread_.join();
    }
    RawCallbackThread(const RawCallbackThread&) = delete;
    RawCallbackThread& operator=(const RawCallbackThread&) = delete;

private:
    void Run() {
        const HANDLE events[] = {raw_.ServerRequestEvent(), stopEvent_.get()};
        while (!stop_.load()) {
            ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
            while (auto text = raw_.TakeServerRequest()) {
                LibraryCallback(text->c_str(), static_cast<unsigned int>(text->size()));
            }
        }
    }

    RawHost& raw_;
    std::atomic<bool> stop_{false};
    UniqueHandle stopEvent_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::thread thread_;
};

// One server request from the sending process to window `target`: the time
// from the moment its send began until the host's callback ran, or a
// negative value when it did not arrive.
double DeliverOnce(SenderProcess& sender, HWND target) {
    ::ResetEvent(Stamps().event.get());
    long long sentAt = 0;
    if (!sender.Send(target, &sentAt) || ::WaitForSingleObject(Stamps().event.get(), kDeliveryWaitMs) != WAIT_OBJECT_0) {
        return -1;
    }
    return TicksToMicroseconds(Stamps().ticks.load() - sentAt);
}

// Has the peer send `count` server requests at once to window `target` and
// returns the time until the host's callback had them all, or a negative
// value when they did not all arrive.
double DeliverBurst(BenchContext& bench, HWND target, int count) {
    char line[64];
    std::snprintf(line, sizeof(line), "serve narrow b to=%lu\n",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(target)));
    std::string commands;
    for (int i = 0; i < count; ++i) commands += line;
    Stamps().calls = 0;
    Stamps().expected = count;
    ::ResetEvent(Stamps().allArrived.get());
    // Generous: a text takes about half a millisecond, even under load.
    const DWORD bound = static_cast<DWORD>(count) * 20 + 10000;
    const long long start = Ticks();
    const bool sent = bench.peer.Command(commands.c_str());
    const bool arrived = sent && ::WaitForSingleObject(Stamps().allArrived.get(), bound) == WAIT_OBJECT_0;
    const double elapsedUs = TicksToMicroseconds(Stamps().ticks.load() - start);
    Stamps().expected = -1;
    // Let stragglers of a failed burst land before the next measurement.
    if (!arrived) ::Sleep(500);
    return arrived ? elapsedUs : -1;
}

struct Side {
    const char* key;
    const char* label;
    HWND target;
    LatencyRounds rounds;
};

}  // namespace

void RunCallbackCases(BenchContext& bench) {
    std::mt19937 random(12345);  // the same pauses and order on every run
    std::uniform_int_distribution<int> pause(0, kMaxPauseMs);

    bench.peer.Use(Delivery::Inline);
    const bool open = bench.library.ReopenWithCallback(LibraryCallback);
    Side sides[] = {{"library.callback", "library callback (vtx_init with callback)",
                     open ? LibraryClient::BridgeWindow() : nullptr, {}},
                    {"limit.callback", "limit callback", bench.raw.Window(), {}}};
    const auto iterations = static_cast<std::size_t>(bench.options.callbackIterations);
    RawCallbackThread limitWorker(bench.raw);
    SenderProcess sender;
    if (!sender.Ready()) Progress("  the sending process did not start: every delivery fails\n");

    for (int round = 1; round <= bench.options.rounds; ++round) {
        Progress("callback, round %d of %d\n", round, bench.options.rounds);
        // Both sides shuffled together, so both meet the same load.
        std::vector<std::size_t> schedule(iterations, 0);
        schedule.insert(schedule.end(), iterations, 1);
        std::shuffle(schedule.begin(), schedule.end(), random);
        std::vector<double> taken[2];
        for (const std::size_t index : schedule) {
            ::Sleep(static_cast<DWORD>(pause(random)));
            const double elapsedUs = sides[index].target != nullptr ? DeliverOnce(sender, sides[index].target) : -1;
            if (elapsedUs < 0) {
                ++sides[index].rounds.failures;
            } else {
                taken[index].push_back(elapsedUs);
            }
        }
        for (std::size_t index = 0; index < 2; ++index) {
            const LatencySummary summary = sides[index].rounds.AddRound(taken[index]);
            Progress("  %-44s median %9.3f ms  (%zu)\n", sides[index].label, summary.medianUs / 1000, summary.count);
        }
    }
    bench.library.Close();
    for (Side& side : sides) bench.results.latency.push_back(side.rounds.Finish(side.key, side.label));

    // A burst, both sides in turn, the order alternating by round.
    const int burst = bench.options.burst;
    const bool reopened = bench.library.ReopenWithCallback(LibraryCallback);
    const std::string burstLabel = " callback, burst of " + std::to_string(burst) + " (all handed over)";
    Side bursts[] = {{"library.callback.burst", "", reopened ? LibraryClient::BridgeWindow() : nullptr, {}},
                     {"limit.callback.burst", "", bench.raw.Window(), {}}};
    for (int round = 1; round <= bench.options.rounds; ++round) {
        Progress("callback burst of %d, round %d of %d\n", burst, round, bench.options.rounds);
        bench.peer.Use(Delivery::Inline);
        for (int turn = 0; turn < 2; ++turn) {
            Side& side = bursts[(turn + round) % 2];
            const double elapsedUs = side.target != nullptr ? DeliverBurst(bench, side.target, burst) : -1;
            std::vector<double> taken;
            if (elapsedUs < 0) {
                ++side.rounds.failures;
            } else {
                taken.push_back(elapsedUs);
            }
            side.rounds.AddRound(taken);
            Progress("  %-44s %9.3f ms\n", side.key, elapsedUs / 1000);
        }
    }
    bench.library.Close();
    bench.results.latency.push_back(bursts[0].rounds.Finish(bursts[0].key, "library" + burstLabel));
    bench.results.latency.push_back(bursts[1].rounds.Finish(bursts[1].key, "limit" + burstLabel));
}

}  // namespace vtx::bench
