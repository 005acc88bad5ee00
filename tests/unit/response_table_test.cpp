#include "transport/response_table.h"

#include <gtest/gtest.h>

#include <string>

#include "transport/filed_answer.h"

namespace vtx {
namespace {

std::unique_ptr<vtx::Answer> AnswerFor(const std::string& requestId, std::int32_t status) {
    auto answer = std::make_unique<vtx::Answer>();
    answer->requestId = requestId;
    answer->status = status;
    return answer;
}

TEST(ResponseTable, KeepsOnlyAnswersSomebodyWaitsFor) {
    ResponseTable<vtx::Answer> table;
    // Nobody asked: handed straight back for release.
    EXPECT_NE(table.File(AnswerFor("unasked", 200)), nullptr);
    EXPECT_EQ(table.Size(), 0u);

    table.Expect("id");
    EXPECT_EQ(table.File(AnswerFor("id", 200)), nullptr);
    EXPECT_TRUE(table.Has("id"));
    auto taken = table.Take("id");
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->status, 200);
    EXPECT_EQ(table.Size(), 0u) << "taking the answer ends the registration";

    // A repeat of an answer already taken, or a late one, is not kept.
    EXPECT_NE(table.File(AnswerFor("id", 200)), nullptr);
    EXPECT_EQ(table.Size(), 0u);
}

TEST(ResponseTable, SecondAnswerReplacesTheFirst) {
    ResponseTable<vtx::Answer> table;
    table.Expect("id");
    EXPECT_EQ(table.File(AnswerFor("id", 1)), nullptr);
    auto replaced = table.File(AnswerFor("id", 2));
    ASSERT_NE(replaced, nullptr) << "the replaced envelope comes back to be released";
    EXPECT_EQ(replaced->status, 1);
    EXPECT_EQ(table.Take("id")->status, 2);
}

TEST(ResponseTable, ForgettingDropsWhatArrivedAndWhatArrivesLater) {
    ResponseTable<vtx::Answer> table;
    table.Expect("id");
    EXPECT_EQ(table.Forget("id"), nullptr);
    EXPECT_EQ(table.Size(), 0u);
    EXPECT_NE(table.File(AnswerFor("id", 200)), nullptr) << "late answer dropped";

    table.Expect("id");
    EXPECT_EQ(table.File(AnswerFor("id", 200)), nullptr);
    EXPECT_NE(table.Forget("id"), nullptr) << "an answer nobody took is released with the registration";
    EXPECT_EQ(table.Size(), 0u);
    EXPECT_EQ(table.Forget("never"), nullptr);
}

TEST(ResponseTable, SharedRequestIdServesEachWaiterOnce) {
    // Requests that fell back to the same ID: every answer goes to exactly one
    // waiter, and the entry lives until the last waiter is done.
    ResponseTable<vtx::Answer> table;
    table.Expect("");
    table.Expect("");
    EXPECT_EQ(table.File(AnswerFor("", 1)), nullptr);
    auto first = table.Take("");
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(table.Has(""));
    EXPECT_EQ(table.Take(""), nullptr) << "the second waiter never sees the first one's envelope";
    EXPECT_EQ(table.Size(), 1u);
    EXPECT_EQ(table.File(AnswerFor("", 2)), nullptr);
    EXPECT_EQ(table.Take("")->status, 2);
    EXPECT_EQ(table.Size(), 0u);
}

TEST(ResponseTable, KeysCompareExactly) {
    ResponseTable<vtx::Answer> table;
    table.Expect("ABC");
    EXPECT_NE(table.File(AnswerFor("abc", 200)), nullptr);
    EXPECT_NE(table.File(AnswerFor("ABC ", 200)), nullptr);
    EXPECT_EQ(table.File(AnswerFor("ABC", 200)), nullptr);
}

}  // namespace
}  // namespace vtx
