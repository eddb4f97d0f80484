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

}  // namespace
