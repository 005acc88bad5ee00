#include "transport/server_request_queue.h"

#include <gtest/gtest.h>

#include "component_probes.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace vtx {

namespace {

using Clock = std::chrono::steady_clock;
using WideText = std::basic_string<WideChar>;

Owned<QueuedText> Text(const char* ascii) {
    const std::string text(ascii);
    Owned<QueuedText> queued = QueuedText::Make(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) queued->Units()[i] = static_cast<WideChar>(text[i]);
    return queued;
}

WideText Units(const Owned<QueuedText>& text) {
    return text ? WideText(text->Units(), text->Length()) : WideText(1, WideChar('!'));
}
WideText Wide(const char* ascii) {
    const std::string text(ascii);
    return WideText(text.begin(), text.end());
}

using Admission = ServerRequestQueue::Admission;

TEST(ServerRequestQueue, OldestFirstPutBackInFrontAndCleared) {
    ServerRequestQueue queue(100, 1000);
    EXPECT_EQ(queue.TakeOldest(), nullptr);

    EXPECT_EQ(queue.Push(Text("first")), Admission::Kept);
    EXPECT_EQ(queue.Push(Text("")), Admission::Kept);
    EXPECT_EQ(queue.Push(Text("third")), Admission::Kept);
    EXPECT_EQ(ServerRequestQueueProbe::Count(queue), 3u);
    EXPECT_EQ(ServerRequestQueueProbe::Bytes(queue), 10u * sizeof(WideChar));

    Owned<QueuedText> first = queue.TakeOldest();
    EXPECT_EQ(Units(first), Wide("first"));
    EXPECT_EQ(queue.Push(Text("fourth")), Admission::Kept);
    // Handed back (the host's buffer was too small): still the oldest.
    queue.PutBackOldest(std::move(first));
    EXPECT_EQ(Units(queue.TakeOldest()), Wide("first"));
    EXPECT_EQ(Units(queue.TakeOldest()), Wide(""));
    EXPECT_EQ(Units(queue.TakeOldest()), Wide("third"));
    EXPECT_EQ(Units(queue.TakeOldest()), Wide("fourth"));
    EXPECT_EQ(queue.TakeOldest(), nullptr);
    EXPECT_EQ(ServerRequestQueueProbe::Bytes(queue), 0u);

    EXPECT_EQ(queue.Push(Text("a")), ServerRequestQueue::Admission::Kept);
    EXPECT_EQ(queue.Push(Text("b")), ServerRequestQueue::Admission::Kept);
    queue.Clear();
    EXPECT_EQ(ServerRequestQueueProbe::Count(queue), 0u);
    EXPECT_EQ(ServerRequestQueueProbe::Bytes(queue), 0u);
}

TEST(ServerRequestQueue, RefusesPastEitherBoundAndTakingMakesRoom) {
    ServerRequestQueue queue(3, 8 * sizeof(WideChar));
    EXPECT_EQ(queue.Push(Text("abcd")), Admission::Kept);
    EXPECT_EQ(queue.Push(Text("efghi")), Admission::TooManyBytes);
    EXPECT_EQ(queue.Push(Text("efgh")), Admission::Kept) << "exactly at the bound";
    EXPECT_EQ(queue.Push(Text("")), Admission::Kept);
    EXPECT_EQ(queue.Push(Text("")), Admission::TooManyTexts) << "empty texts count too";
    EXPECT_EQ(ServerRequestQueueProbe::Count(queue), 3u);
    EXPECT_EQ(ServerRequestQueueProbe::Bytes(queue), 8 * sizeof(WideChar));

    // A text collected no longer counts against either bound.
    EXPECT_EQ(Units(queue.TakeOldest()), Wide("abcd"));
    EXPECT_EQ(queue.Push(Text("ijkl")), Admission::Kept);
    EXPECT_EQ(ServerRequestQueueProbe::Count(queue), 3u);
}

TEST(ServerRequestQueue, EveryOperationWaitsWhileAnotherHolderKeepsTheLock) {
    ServerRequestQueue queue(100, 1000);
    EXPECT_EQ(queue.Push(Text("queued")), ServerRequestQueue::Admission::Kept);
    const struct {
        const char* name;
        std::function<void()> run;
    } operations[] = {
        {"push", [&] { static_cast<void>(queue.Push(Text("pushed"))); }},
        {"take", [&] { static_cast<void>(queue.TakeOldest()); }},
        {"put back", [&] { queue.PutBackOldest(Text("back")); }},
        {"clear", [&] { queue.Clear(); }},
    };
    for (const auto& operation : operations) {
        SCOPED_TRACE(operation.name);
        std::atomic<bool> done{false};
        std::thread other;
        {
            const ServerRequestQueueProbe hold(queue);
            other = std::thread([&] {
                operation.run();
                done = true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_FALSE(done.load()) << "went on while another holder kept the queue's lock";
        }
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!done.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(done.load()) << "still waiting after the lock was released";
        other.join();
    }
}

}  // namespace
}  // namespace vtx
