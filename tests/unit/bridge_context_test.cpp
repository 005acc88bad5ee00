#include "transport/bridge_context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/unique_handle.h"

namespace vtx {
namespace {

using Clock = std::chrono::steady_clock;

// Lock names of this test process only, so tests running at the same time do
// not share (or block) each other's locks.
std::wstring UniqueName(const wchar_t* base) {
    return std::wstring(base) + L"-" + std::to_wstring(::GetCurrentProcessId());
}

class ContextTest : public ::testing::Test {
protected:
    std::wstring serverRequestName = UniqueName(L"vtxtest-ServerRequest");
    std::wstring responseName = UniqueName(L"vtxtest-Response");
    BridgeContext context{serverRequestName.c_str(), responseName.c_str()};
};

template <class FiledAnswerType>
std::unique_ptr<FiledAnswerType> MakeAnswer(const std::basic_string<typename FiledAnswerType::Char>& requestId,
                                            std::int32_t status) {
    auto answer = std::make_unique<FiledAnswerType>();
    answer->requestId = requestId;
    answer->status = status;
    return answer;
}
std::unique_ptr<vtx::Answer> AnswerFor(const std::string& requestId, std::int32_t status) {
    return MakeAnswer<vtx::Answer>(requestId, status);
}
std::unique_ptr<AnswerW> AnswerForW(const WideString& requestId, std::int32_t status) {
    return MakeAnswer<AnswerW>(requestId, status);
}

TEST(GetBridgeContext, ConcurrentFirstCallsBuildOneContext) {
    std::vector<BridgeContext*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&slot] { slot = &GetBridgeContext(); });
    for (auto& thread : threads) thread.join();
    for (BridgeContext* context : seen) EXPECT_EQ(context, seen[0]);

    BridgeContext& context = *seen[0];
    EXPECT_EQ(context.bridgeWindow.load(), nullptr);
    EXPECT_EQ(context.wideMode.load(), -1);
    EXPECT_EQ(context.callbackMode.load(), 0);
    EXPECT_EQ(context.ServerRequestCount(), 0u);
    EXPECT_EQ(context.PendingResponseCount(), 0u);
    EXPECT_EQ(InitializedFlag().load(), 0);
}

TEST(BridgeContextLocks, NameTakenByAnotherKindStillExcludes) {
    // Another program's event holds the name: no named mutex is open, and the
    // containers are guarded all the same.
    const std::wstring name = UniqueName(L"vtxtest-Taken");
    UniqueHandle squatter(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(squatter);
    BridgeContext context(name.c_str(), name.c_str());
    EXPECT_FALSE(context.HoldsNamedMutexes());

    // Concurrent pushes and takes through the fallback lock lose nothing.
    constexpr int kPerThread = 2000;
    std::thread producer([&] {
        for (int i = 0; i < kPerThread; ++i) context.PushServerRequest(WideString(1, L'a'));
    });
    int taken = 0;
    while (taken < kPerThread) {
        if (context.TakeServerRequest()) ++taken;
    }
    producer.join();
    EXPECT_EQ(context.ServerRequestCount(), 0u);
}

TEST_F(ContextTest, HoldsNamedMutexesWhenNamesAreFree) { EXPECT_TRUE(context.HoldsNamedMutexes()); }

TEST_F(ContextTest, AnswerFiledBeforeTheWaitIsReturnedAtOnce) {
    context.ExpectResponse("id");
    context.StoreResponse(AnswerFor("id", 200));
    EXPECT_TRUE(context.HasResponse("id"));
    int timedOut = -1;
    const auto start = Clock::now();
    auto answer = context.WaitResponse(&timedOut, "id");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(timedOut, 0);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(context.PendingResponseCount(), 0u);
}

TEST_F(ContextTest, WaitGivesUpAfterAboutFiveSeconds) {
    context.ExpectResponse("silent");
    int timedOut = 0;
    const auto start = Clock::now();
    EXPECT_EQ(context.WaitResponse(&timedOut, "silent"), nullptr);
    const auto waited = Clock::now() - start;
    EXPECT_EQ(timedOut, 1);
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::milliseconds(7000));

    // The export then ends its registration; the late answer is not kept.
    context.RemoveResponse("silent");
    context.StoreResponse(AnswerFor("silent", 200));
    EXPECT_EQ(context.PendingResponseCount(), 0u);
}

TEST_F(ContextTest, AnswerArrivingDuringTheWaitIsTaken) {
    context.ExpectResponseW(L"late");
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        context.StoreResponseW(AnswerForW(L"late", 201));
    });
    int timedOut = 0;
    auto answer = context.WaitResponseW(&timedOut, L"late");
    peer.join();
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->status, 201);
}

TEST_F(ContextTest, NarrowAndWideTablesAreIndependent) {
    context.ExpectResponse("same");
    context.ExpectResponseW(L"same");
    context.StoreResponseW(AnswerForW(L"same", 2));
    EXPECT_FALSE(context.HasResponse("same"));
    EXPECT_TRUE(context.HasResponseW(L"same"));
    context.StoreResponse(AnswerFor("same", 1));
    int timedOut = 0;
    EXPECT_EQ(context.WaitResponse(&timedOut, "same")->status, 1);
    EXPECT_EQ(context.WaitResponseW(&timedOut, L"same")->status, 2);
}

TEST_F(ContextTest, SharedRequestIdUnderConcurrentWaiters) {
    // Requests sharing the fallback ID: each answer reaches one waiter, and
    // each waiter owns what it got.
    constexpr int kWaiters = 4;
    for (int i = 0; i < kWaiters; ++i) context.ExpectResponse("");
    std::vector<int> statuses(kWaiters, -1);
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&, i] {
            int timedOut = 0;
            auto answer = context.WaitResponse(&timedOut, "");
            statuses[i] = answer ? answer->status : 0;
        });
    }
    for (int i = 1; i <= kWaiters; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        context.StoreResponse(AnswerFor("", 1000 + i));
        while (context.HasResponse("")) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto& waiter : waiters) waiter.join();
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ(statuses, (std::vector<int>{1001, 1002, 1003, 1004}));
    EXPECT_EQ(context.PendingResponseCount(), 0u);
}

TEST_F(ContextTest, ServerRequestQueueOrderAndRemoval) {
    context.PopServerRequest();  // empty: stays empty, no harm
    EXPECT_FALSE(context.FrontServerRequest().has_value());

    context.PushServerRequest(L"first");
    context.PushServerRequest(L"");
    context.PushServerRequest(L"third");
    const auto front = context.FrontServerRequest();
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(front->text, L"first");
    EXPECT_EQ(context.ServerRequestCount(), 3u) << "looking does not remove";

    // Removal by sequence takes only the text that was handed over.
    ASSERT_TRUE(context.PopServerRequest(front->sequence));
    EXPECT_FALSE(context.PopServerRequest(front->sequence));
    EXPECT_EQ(*context.TakeServerRequest(), L"");
    EXPECT_EQ(*context.TakeServerRequest(), L"third");
    EXPECT_FALSE(context.TakeServerRequest().has_value());

    context.PushServerRequest(L"a");
    context.PushServerRequest(L"b");
    context.ClearServerRequests();
    EXPECT_EQ(context.ServerRequestCount(), 0u);
}

TEST_F(ContextTest, EveryQueueOperationWaitsWhileAnotherHolderKeepsTheQueueLock) {
    context.PushServerRequest(L"queued");
    const struct {
        const char* name;
        std::function<void()> run;
    } operations[] = {
        {"push", [&] { context.PushServerRequest(L"pushed"); }},
        {"front", [&] { static_cast<void>(context.FrontServerRequest()); }},
        {"pop", [&] { context.PopServerRequest(); }},
        {"pop by sequence", [&] { static_cast<void>(context.PopServerRequest(1)); }},
        {"take", [&] { static_cast<void>(context.TakeServerRequest()); }},
        {"count", [&] { static_cast<void>(context.ServerRequestCount()); }},
        {"clear", [&] { context.ClearServerRequests(); }},
    };
    for (const auto& operation : operations) {
        SCOPED_TRACE(operation.name);
        std::atomic<bool> done{false};
        std::thread other;
        {
            const auto hold = context.HoldServerRequestLockForTest();
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
