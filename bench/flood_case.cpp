#include "flood_case.h"

#include <atomic>
#include <memory>
#include <string>

#include "memory_case.h"
#include "stopwatch.h"
#include "common/envelope_helpers.h"
#include "transport/envelope.h"
#include "transport/message_codes.h"

namespace vtx::bench {
namespace {

constexpr int kSampleCount = 10;
constexpr std::size_t kFloodUnits = 99999;  // the longest text a wide server request carries

struct FloodCallback {
    std::atomic<std::size_t> calls{0};
    std::atomic<int> pauseMs{0};
};
FloodCallback& Flood() {
    static FloodCallback flood;
    return flood;
}

// A host that takes its time over each server request.
void VTX_CALL SlowCallback(const void*, unsigned int) {
    ++Flood().calls;
    ::Sleep(static_cast<DWORD>(Flood().pauseMs.load()));
}

void Sample(FloodResult& flood, std::size_t sent) {
    flood.samples.push_back({sent, PrivateBytes(&flood.counter)});
    flood.walkSamples.push_back({sent, CommittedPrivateBytes()});
    Progress("  %8zu sent, %zu refused: %.1f MiB (%s), %.1f MiB committed private\n", sent, flood.refused,
             flood.samples.back().privateBytes / 1048576.0, flood.counter.c_str(),
             flood.walkSamples.back().privateBytes / 1048576.0);
}

}  // namespace

void RunFloodCase(BenchContext& bench) {
    FloodResult& flood = bench.results.flood;
    flood.ran = true;
    flood.requests = static_cast<std::size_t>(bench.options.floodRequests);
    flood.callbackMs = bench.options.floodCallbackMs;
    Progress("flood, %zu wide server requests of %zu units, callback %d ms per text\n", flood.requests, kFloodUnits,
             flood.callbackMs);
    flood.counterFollowsUse = CounterFollowsUse();

    Flood().pauseMs = flood.callbackMs;
    bench.peer.Use(Delivery::Inline);
    const HWND bridge = bench.library.ReopenWithCallback(SlowCallback) ? LibraryClient::BridgeWindow() : nullptr;
    if (bridge == nullptr) {
        flood.failures = flood.requests;
        return;
    }
    // The peer's side of the flood, sent from here: the bridge window cannot
    // tell, and a thread of this process sends faster than any peer.
    auto envelope = MakeBlankEnvelope<MessageEnvelopeW>();
    CopyToField(envelope->payload, std::wstring(kFloodUnits, L'\uD55C'));
    envelope->length = static_cast<std::int32_t>(kFloodUnits + 1);
    COPYDATASTRUCT data{code::kServerRequestW, sizeof(MessageEnvelopeW), envelope.get()};

    Sample(flood, 0);
    const std::size_t step = flood.requests >= kSampleCount ? flood.requests / kSampleCount : 1;
    const std::size_t callsBefore = Flood().calls.load();
    const long long start = Ticks();
    for (std::size_t sent = 1; sent <= flood.requests; ++sent) {
        DWORD_PTR taken = 0;
        if (!::SendMessageTimeoutW(bridge, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000,
                                   &taken)) {
            ++flood.failures;
        } else if (taken == 0) {
            ++flood.refused;
        }
        if (sent % step == 0 || sent == flood.requests) Sample(flood, sent);
    }
    flood.seconds = MicrosecondsSince(start) / 1e6;
    flood.delivered = Flood().calls.load() - callsBefore;
    Flood().pauseMs = 0;  // the rest of the queue goes quickly
    bench.library.Close();
}

}  // namespace vtx::bench
