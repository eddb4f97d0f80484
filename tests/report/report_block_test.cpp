// The counted report blocks: the count ahead of the entries, and no block for nothing or for
// more than a bundle value can hold.
#include <gtest/gtest.h>

#include "block_decoder.h"
#include "report/report_block.h"

namespace {

using namespace report_test;

TEST(ReportBlock, CountAndEntriesFollowEachOther) {
    tierlock::TargetListBlock list(2);
    ASSERT_TRUE(list);
    EXPECT_EQ(list.size(), 15540);
    list.entry(1).registry.valueType = 7;
    const auto* begin = static_cast<const uint8_t*>(list.data());
    const Bytes bytes(begin, begin + list.size());
    EXPECT_EQ(U32At(bytes, 0), 2u);
    EXPECT_EQ(U32At(bytes, 4 + 7768 + 5716), 7u);
    EXPECT_TRUE(AllZero(bytes, 4, 7768 + 5716));

    EXPECT_FALSE(tierlock::TargetListBlock(0));
    EXPECT_FALSE(tierlock::TargetListBlock(0x7FFFFFFF / 7768 + 1));
}

}  // namespace
