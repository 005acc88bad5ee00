#include "micro_timings.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/envelope_helpers.h"
#include "stopwatch.h"
#include "support/unique_handle.h"
#include "transport/decode.h"
#include "transport/form_traits.h"
#include "transport/outbound_envelope.h"
#include "transport/request_id.h"
#include "transport/server_request_queue.h"
#include "transport/window_names.h"

namespace vtx::bench {
namespace {

// Keeps the compiler from dropping work whose result nobody reads, such as
// zeroing an envelope that is freed unread: the memory counts as used.
void Keep(const void* pointer) {
#if defined(__GNUC__)
    asm volatile("" : : "g"(pointer) : "memory");
#else
    static const void* volatile sink;
    sink = pointer;
    _ReadWriteBarrier();
#endif
}

// The samples of every micro-timing, gathered over the rounds.
class MicroSet {
public:
    void Time(const char* key, const char* label, int iterations, const std::function<void()>& step) {
        for (int i = 0; i < std::min(iterations, 10); ++i) step();  // first calls load and set up
        std::vector<double> samples;
        samples.reserve(static_cast<std::size_t>(iterations));
        for (int i = 0; i < iterations; ++i) {
            const long long start = Ticks();
            step();
            samples.push_back(MicrosecondsSince(start));
        }
        const LatencySummary summary = Entry(key, label).rounds.AddRound(samples);
        Progress("  %-44s median %9.1f us\n", label, summary.medianUs);
    }

    void StoreInto(std::vector<LatencyResult>& results) {
        for (auto& timing : timings_) results.push_back(timing.rounds.Finish(timing.key, timing.label));
    }

private:
    struct Timing {
        const char* key;
        const char* label;
        LatencyRounds rounds;
    };

    Timing& Entry(const char* key, const char* label) {
        for (auto& timing : timings_) {
            if (std::string(timing.key) == key) return timing;
        }
        timings_.push_back({key, label, {}});
        return timings_.back();
    }

    std::vector<Timing> timings_;  // in the order first timed
};

// The text the callback case's sender sends.
constexpr char kServerRequestText[] = "cb";

// What the bridge window does with a narrow server request's text.
bool QueueText(ServerRequestQueue& queue, const ReceivedText& text) {
    const char* refusal = nullptr;
    Owned<QueuedText> queued = NarrowForm::ToQueued(text, &refusal);
    return queued && queue.Push(std::move(queued)) == ServerRequestQueue::Admission::Kept;
}

template <class Char, std::size_t N>
void WriteAscii(Char (&field)[N], const char* text) {
    for (std::size_t i = 0; text[i] != '\0' && i + 1 < N; ++i) field[i] = static_cast<Char>(text[i]);
}

// An answer as the peer sends it: the whole envelope, a payload and an ID.
template <class Envelope>
std::unique_ptr<Envelope> SampleAnswer() {
    auto answer = MakeBlankEnvelope<Envelope>();
    WriteAscii(answer->payload, RawHost::kPayload);
    WriteAscii(answer->requestId, "{01234567-89ab-cdef-0123-456789abcdef}");
    answer->status = 200;
    return answer;
}

// Two threads handing a turn back and forth through two events: each step
// is one wake of a waiting thread there and one back.
class PingPong {
public:
    PingPong() : partner_([this] { Answer(); }) {}
    ~PingPong() {
        stop_ = true;
        ::SetEvent(ping_.get());
        partner_.join();
    }
    PingPong(const PingPong&) = delete;
    PingPong& operator=(const PingPong&) = delete;

    void Step() {
        ::SetEvent(ping_.get());
        ::WaitForSingleObject(pong_.get(), INFINITE);
    }

private:
    void Answer() {
        while (::WaitForSingleObject(ping_.get(), INFINITE) == WAIT_OBJECT_0 && !stop_.load()) {
            ::SetEvent(pong_.get());
        }
    }

    UniqueHandle ping_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle pong_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<bool> stop_{false};
    std::thread partner_;
};

template <class Envelope>
void SendSilently(BenchContext& bench, std::uint32_t messageCode, Envelope& envelope) {
    COPYDATASTRUCT data{};
    data.dwData = messageCode;
    data.cbData = sizeof(Envelope);
    data.lpData = &envelope;
    ::SendMessageW(bench.peer.Window(), WM_COPYDATA, reinterpret_cast<WPARAM>(bench.raw.Window()),
                   reinterpret_cast<LPARAM>(&data));
}

void RunOneRound(BenchContext& bench, MicroSet& micro) {
    const int n = bench.options.microIterations;

    // The library's request envelope: its spare, blanked when given back.
    micro.Time("micro.outbound_envelope.narrow", "spare envelope, narrow: take, blank, give back", n, [] {
        auto envelope = TakeBlankEnvelope<MessageEnvelope>();
        Keep(envelope.get());
    });
    micro.Time("micro.outbound_envelope.wide", "spare envelope, wide: take, blank, give back", n, [] {
        auto envelope = TakeBlankEnvelope<MessageEnvelopeW>();
        Keep(envelope.get());
    });

    auto narrow = MakeBlankEnvelope<MessageEnvelope>();
    auto wide = MakeBlankEnvelope<MessageEnvelopeW>();
    micro.Time("micro.request_id.narrow", "request ID, narrow: GUID and its text", n, [&narrow] {
        NarrowForm::NewRequestId(*narrow);
        Keep(narrow->requestId);
    });
    micro.Time("micro.request_id.wide", "request ID, wide: GUID and its text", n, [&wide] {
        WideForm::NewRequestId(*wide);
        Keep(wide->requestId);
    });

    bench.peer.Use(Delivery::Inline);
    // Every send asks who owns the peer window it keeps; a lookup, when that
    // window is gone, walks the windows of the peer's class.
    const HWND peer = bench.peer.Window();
    micro.Time("micro.peer_owner", "owner of the kept peer window (GetWindowThreadProcessId)", n, [peer] {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(peer, &processId);
        Keep(&processId);
    });
    micro.Time("micro.find_window", "FindWindowExW of the peer's class, from the top", n,
               [] { Keep(::FindWindowExW(nullptr, nullptr, kPeerClassName, nullptr)); });

    const auto narrowAnswer = SampleAnswer<MessageEnvelope>();
    const auto wideAnswer = SampleAnswer<MessageEnvelopeW>();
    micro.Time("micro.decode.narrow", "answer copied out, narrow (decode)", n, [&narrowAnswer] {
        const auto message = DecodeInbound(AnswerCode(code::kSendRequest), narrowAnswer.get(), sizeof(MessageEnvelope));
        auto answer = CopyAnswer<char>(message);
        Keep(answer.get());
    });
    micro.Time("micro.decode.wide", "answer copied out, wide (decode)", n, [&wideAnswer] {
        const auto message = DecodeInbound(AnswerCode(code::kSendRequestW), wideAnswer.get(), sizeof(MessageEnvelopeW));
        auto answer = CopyAnswer<WideChar>(message);
        Keep(answer.get());
    });

    // A round trip holds its request envelope while the answer is decoded.
    micro.Time(
        "micro.round_trip_envelopes.narrow", "request envelope and answer alive together, narrow", n, [&narrowAnswer] {
            auto request = TakeBlankEnvelope<MessageEnvelope>();
            Keep(request.get());
            const auto message = DecodeInbound(AnswerCode(code::kSendRequest), narrowAnswer.get(), sizeof(MessageEnvelope));
            auto answer = CopyAnswer<char>(message);
            Keep(answer.get());
        });
    micro.Time("micro.round_trip_envelopes.wide", "request envelope and answer alive together, wide", n, [&wideAnswer] {
        auto request = TakeBlankEnvelope<MessageEnvelopeW>();
        Keep(request.get());
        const auto message = DecodeInbound(AnswerCode(code::kSendRequestW), wideAnswer.get(), sizeof(MessageEnvelopeW));
        auto answer = CopyAnswer<WideChar>(message);
        Keep(answer.get());
    });

    // A narrow server request on its way to the callback, within the library:
    // kept (converted to UTF-16 and queued) on the bridge window's thread,
    // then taken and converted back for the host on the worker's.
    ServerRequestQueue queue(2, 1024);
    const ReceivedText text{reinterpret_cast<const unsigned char*>(kServerRequestText), sizeof(kServerRequestText) - 1};
    micro.Time("micro.server_request.kept", "server request kept, narrow: to UTF-16, queued", n, [&queue, &text] {
        if (!QueueText(queue, text)) return;
        queue.Clear();
    });
    micro.Time("micro.server_request.kept_handed", "server request kept, then taken and to ANSI", n, [&queue, &text] {
        if (!QueueText(queue, text)) return;
        const Owned<QueuedText> taken = queue.TakeOldest();
        if (taken) (void)NarrowForm::WithHostText(*taken, [](const char* units, std::size_t) { Keep(units); });
    });

    UniqueHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    micro.Time("micro.event_set_wait", "event set, then waited for (the limit's wake)", n, [&event] {
        ::SetEvent(event.get());
        ::WaitForSingleObject(event.get(), INFINITE);
    });
    {
        PingPong pingPong;
        micro.Time("micro.event_ping_pong", "event wake to another thread and back", n,
                   [&pingPong] { pingPong.Step(); });
    }

    // The peer takes these without answering: one hop of a round trip.
    const int hops = std::max(1, n / 4);
    bench.peer.Command("answer * silent");
    micro.Time("micro.hop.narrow", "one WM_COPYDATA hop, narrow envelope", hops,
               [&bench, &narrow] { SendSilently(bench, code::kSendRequest, *narrow); });
    micro.Time("micro.hop.wide", "one WM_COPYDATA hop, wide envelope", hops,
               [&bench, &wide] { SendSilently(bench, code::kSendRequestW, *wide); });
    bench.peer.Reapply();  // back to answering

}

}  // namespace

void RunMicroTimings(BenchContext& bench) {
    MicroSet micro;
    for (int round = 1; round <= bench.options.rounds; ++round) {
        Progress("micro-timings, %d each, round %d of %d\n", bench.options.microIterations, round,
                 bench.options.rounds);
        RunOneRound(bench, micro);
    }
    micro.StoreInto(bench.results.micro);
}

}  // namespace vtx::bench
