// The fixed-capacity vector that spills to the heap: reused, it holds only what it was given last.
#include <gtest/gtest.h>

#include <vector>

#include "platform/inline_vector.h"

namespace {

TEST(InlineVector, AssignedAgainAfterSpillingHoldsOnlyTheNewValues) {
    tierlock::InlineVector<int, 2> values;
    values.assign(3, 7);
    values.assign(1, 5);
    EXPECT_EQ(std::vector<int>(values.begin(), values.end()), std::vector<int>{5});
}

// Inserts land before the given position whether the values are in place or spilled, and a
// swap of an in-place vector with a spilled one exchanges everything.
TEST(InlineVector, InsertAndSwapAcrossTheSpill) {
    tierlock::InlineVector<int, 3> a;
    for (auto [index, value] : {std::pair{0, 3}, {0, 1}, {1, 2}, {3, 5}, {3, 4}}) {
        a.insert(index, value);
    }
    tierlock::InlineVector<int, 3> b{9};
    a.swap(b);
    EXPECT_EQ(std::vector<int>(a.begin(), a.end()), std::vector<int>{9});
    EXPECT_EQ(std::vector<int>(b.begin(), b.end()), (std::vector<int>{1, 2, 3, 4, 5}));
    a.insert(0, 8);
    b.swap(a);
    EXPECT_EQ(std::vector<int>(b.begin(), b.end()), (std::vector<int>{8, 9}));
    EXPECT_EQ(std::vector<int>(a.begin(), a.end()), (std::vector<int>{1, 2, 3, 4, 5}));
}

}  // namespace
