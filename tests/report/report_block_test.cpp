// The counted report blocks: no block for nothing or for more than a bundle value can hold.
#include <gtest/gtest.h>

#include "report/report_block.h"

namespace {

TEST(ReportBlock, NoBlockForNothingOrTooMuch) {
    EXPECT_TRUE(tierlock::TargetListBlock(1));
    EXPECT_FALSE(tierlock::TargetListBlock(0));
    EXPECT_FALSE(tierlock::TargetListBlock(0x7FFFFFFF / 7768 + 1));
}

}  // namespace
