#include "transport/answer_board.h"

#include <gtest/gtest.h>

#include "component_probes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace vtx {
namespace {

using Clock = std::chrono::steady_clock;
using NarrowKey = RequestIdText<char>;
using WideKey = RequestIdText<WideChar>;

template <class Char>
RequestIdText<Char> Key(const char* ascii) {
    RequestIdText<Char> key;
    for (; ascii[key.length] != '\0'; ++key.length) key.units[key.length] = static_cast<Char>(ascii[key.length]);
    return key;
}

template <class Char>
Owned<FiledAnswer<Char>> AnswerFor(const char* requestId, std::int32_t status) {
    auto answer = MakeOwned<FiledAnswer<Char>>();
    answer->requestId = Key<Char>(requestId);
    answer->status = status;
    return answer;
}

TEST(AnswerTable, KeepsOnlyAnswersSomebodyWaitsForAndServesSharedKeysOnce) {
    AnswerTable<char> table;
    // Nobody asked: handed straight back for release.
    EXPECT_NE(table.File(AnswerFor<char>("unasked", 200)), nullptr);
    EXPECT_EQ(table.Size(), 0u);

    ASSERT_TRUE(table.Expect(Key<char>("id")));
    EXPECT_EQ(table.File(AnswerFor<char>("id", 1)), nullptr);
    auto replaced = table.File(AnswerFor<char>("id", 2));
    ASSERT_NE(replaced, nullptr) << "a second answer replaces the first, which comes back to be released";
    EXPECT_EQ(replaced->status, 1);
    EXPECT_EQ(table.Take(Key<char>("id"))->status, 2);
    EXPECT_EQ(table.Size(), 0u) << "taking the answer ends the registration";
    EXPECT_NE(table.File(AnswerFor<char>("id", 200)), nullptr) << "a repeat of a taken answer is not kept";

    // Keys compare exactly.
    ASSERT_TRUE(table.Expect(Key<char>("ABC")));
    EXPECT_NE(table.File(AnswerFor<char>("abc", 200)), nullptr);
    EXPECT_NE(table.File(AnswerFor<char>("ABC ", 200)), nullptr);
    EXPECT_EQ(table.File(AnswerFor<char>("ABC", 200)), nullptr);
    EXPECT_NE(table.Forget(Key<char>("ABC")), nullptr) << "an answer nobody took goes with the registration";
    EXPECT_EQ(table.Forget(Key<char>("never")), nullptr);

    // Requests that fell back to one ID: every answer goes to exactly one
    // waiter, and the entry lives until the last waiter is done.
    ASSERT_TRUE(table.Expect(Key<char>("")));
    ASSERT_TRUE(table.Expect(Key<char>("")));
    EXPECT_EQ(table.File(AnswerFor<char>("", 1)), nullptr);
    ASSERT_NE(table.Take(Key<char>("")), nullptr);
    EXPECT_EQ(table.Take(Key<char>("")), nullptr) << "the second waiter never sees the first one's answer";
    EXPECT_EQ(table.Size(), 1u);
    EXPECT_EQ(table.File(AnswerFor<char>("", 2)), nullptr);
    EXPECT_EQ(table.Take(Key<char>(""))->status, 2);
    EXPECT_EQ(table.Size(), 0u);
}

TEST(AnswerBoard, AnswerFiledBeforeTheWaitIsReturnedAtOnceAndTheFormsAreApart) {
    AnswerBoard board;
    ASSERT_TRUE(board.Expect<NarrowForm>(Key<char>("same")));
    ASSERT_TRUE(board.Expect<WideForm>(Key<WideChar>("same")));
    EXPECT_TRUE(board.File<WideForm>(AnswerFor<WideChar>("same", 2)));
    EXPECT_TRUE(board.File<NarrowForm>(AnswerFor<char>("same", 1)));
    const auto start = Clock::now();
    auto narrow = board.Wait<NarrowForm>(Key<char>("same"), 5000);
    auto wide = board.Wait<WideForm>(Key<WideChar>("same"), 5000);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
    ASSERT_NE(narrow, nullptr);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(narrow->status, 1);
    EXPECT_EQ(wide->status, 2);
    EXPECT_EQ(AnswerBoardProbe::PendingCount(board), 0u);
    EXPECT_FALSE(board.File<NarrowForm>(AnswerFor<char>("same", 3))) << "nobody waits any more";
}

TEST(AnswerBoard, WaitGivesUpAfterItsBudgetAndTheLateAnswerIsNotKept) {
    AnswerBoard board;
    ASSERT_TRUE(board.Expect<NarrowForm>(Key<char>("silent")));
    const auto start = Clock::now();
    EXPECT_EQ(board.Wait<NarrowForm>(Key<char>("silent"), 1000), nullptr);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(950));
    EXPECT_LT(waited, std::chrono::milliseconds(2500));
    board.Forget<NarrowForm>(Key<char>("silent"));
    EXPECT_FALSE(board.File<NarrowForm>(AnswerFor<char>("silent", 200)));
    EXPECT_EQ(AnswerBoardProbe::PendingCount(board), 0u);
}

TEST(AnswerBoard, AnswerArrivingDuringTheWaitIsTaken) {
    AnswerBoard board;
    ASSERT_TRUE(board.Expect<WideForm>(Key<WideChar>("late")));
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_TRUE(board.File<WideForm>(AnswerFor<WideChar>("late", 201)));
    });
    auto answer = board.Wait<WideForm>(Key<WideChar>("late"), 5000);
    peer.join();
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->status, 201);
}

TEST(AnswerBoard, StoppedWaitsEndAtOnce) {
    AnswerBoard board;
    ASSERT_TRUE(board.Expect<NarrowForm>(Key<char>("a")));
    std::thread unload([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        board.StopWaits();
    });
    const auto start = Clock::now();
    EXPECT_EQ(board.Wait<NarrowForm>(Key<char>("a"), 5000), nullptr);
    unload.join();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(board.Wait<NarrowForm>(Key<char>("a"), 5000), nullptr) << "a later wait returns at once";
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
}

TEST(AnswerBoard, SharedRequestIdUnderConcurrentWaiters) {
    // Requests sharing the fallback ID: each answer reaches one waiter, and
    // each waiter owns what it got.
    AnswerBoard board;
    constexpr int kWaiters = 4;
    for (int i = 0; i < kWaiters; ++i) ASSERT_TRUE(board.Expect<NarrowForm>(Key<char>("")));
    std::vector<int> statuses(kWaiters, -1);
    std::atomic<int> served{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&, i] {
            auto answer = board.Wait<NarrowForm>(Key<char>(""), 5000);
            statuses[i] = answer ? answer->status : 0;
            ++served;
        });
    }
    for (int i = 1; i <= kWaiters; ++i) {
        EXPECT_TRUE(board.File<NarrowForm>(AnswerFor<char>("", 1000 + i)));
        // The next answer only once this one was taken: a second filing
        // would replace it.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (served.load() < i && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (auto& waiter : waiters) waiter.join();
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ(statuses, (std::vector<int>{1001, 1002, 1003, 1004}));
    EXPECT_EQ(AnswerBoardProbe::PendingCount(board), 0u);
}

}  // namespace
}  // namespace vtx
