// The process-information cache helper against the simulated cache: typed reads and writes,
// the level pair in force, and the process chain.
#include "levels/level_fixture.h"

namespace {

using simhost::LogLine;
using tierlock::rkProcessTreeCacheHelper;

class CacheHelper : public level_test::LevelTest {
  protected:
    void SetUp() override {
        LevelTest::SetUp();
        cache_.AddProcess(10, 555, 4, u"C:\\app.exe");
    }
};

TEST_F(CacheHelper, TypedReadsAndWritesWithTheirLines) {
    rkProcessTreeCacheHelper helper(&cache_);
    const uint64_t createTime = 555;
    ASSERT_TRUE(helper.SetProcessProperty(10, &createTime, "LEVEL", 70));
    int32_t level = -1;
    EXPECT_TRUE(helper.GetProcessProperty(10, &createTime, "LEVEL", level));
    EXPECT_EQ(level, 70);
    int32_t missing = 3;
    EXPECT_FALSE(helper.GetProcessProperty(10, nullptr, "SUB_LEVEL", missing));

    const auto writes = cache_.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].reserved, 0u);
    EXPECT_EQ(cache_.readTimes().back(), std::nullopt);  // a null time is passed through

    EXPECT_EQ(framework_.texts(),
              (std::vector<std::u16string>{
                  LogLine(30, "rkProcessTreeCacheHelper::SetProcessProperty",
                          u"pid : 10  createtime : 555  key : LEVEL  value : 70  ret : 1"),
                  LogLine(30, "rkProcessTreeCacheHelper::GetProcessProperty",
                          u"pid : 10  createtime : 555  key : LEVEL  value : 70  ret : 1"),
                  LogLine(30, "rkProcessTreeCacheHelper::GetProcessProperty",
                          u"pid : 10  createtime : 0  key : SUB_LEVEL  value : 3  ret : 0")}));

    rkProcessTreeCacheHelper none(nullptr);
    EXPECT_FALSE(none.GetProcessProperty(10, nullptr, "LEVEL", level));
    EXPECT_FALSE(none.SetProcessProperty(10, nullptr, "LEVEL", 1));
    EXPECT_FALSE(none.GetProcessLevel(10, nullptr, level, level));
    tierlock::ChainRecords records;
    EXPECT_FALSE(none.GetChainRecords(10, records));
    EXPECT_EQ(framework_.lines().size(), 3u);
}

// Which pair is in force is tested over both process routes; here the lines that say so, and
// the reads that stop at the first failure.
TEST_F(CacheHelper, FixedPairLinesAndFailedReads) {
    cache_.SetInt(10, "SUB_LEVEL", 3);
    rkProcessTreeCacheHelper helper(&cache_);
    int32_t level = 0, subLevel = 0;
    EXPECT_FALSE(helper.GetProcessLevel(10, nullptr, level, subLevel));
    for (const auto& line : framework_.texts()) {
        EXPECT_EQ(line.find(u"key : SUB_LEVEL"), std::u16string::npos);
    }
    // A valid expiry without the fixed pair itself makes the read fail.
    cache_.SetInt(10, "LEVEL", 70);
    cache_.SetUInt64(10, "FLVL_TTL", UINT64_MAX);
    EXPECT_FALSE(helper.GetProcessLevel(10, nullptr, level, subLevel));
    cache_.SetInt(10, "FIX_LEVEL", 10);
    cache_.SetInt(10, "FIX_SUB_LEVEL", 1);
    framework_.ClearLog();
    EXPECT_TRUE(helper.GetProcessLevel(10, nullptr, level, subLevel));
    EXPECT_EQ(std::make_pair(level, subLevel), std::make_pair(10, 1));
    const auto lines = framework_.textsTagged("rkProcessTreeCacheHelper::GetProcessLevel");
    ASSERT_EQ(lines.size(), 2u);
    const std::u16string expiry = LogLine(30, "rkProcessTreeCacheHelper::GetProcessLevel",
                                          u"FixLevelTTL : 18446744073709551615  CurrentTime : ");
    EXPECT_EQ(lines[0].compare(0, expiry.size() - 1, expiry, 0, expiry.size() - 1), 0);
    EXPECT_EQ(lines[1], LogLine(30, "rkProcessTreeCacheHelper::GetProcessLevel",
                                u"KeyLevel : FIX_LEVEL  KeySubLevel : FIX_SUB_LEVEL"));
}

TEST_F(CacheHelper, ValuesOfTheWrongSizeAreRefused) {
    cache_.SetInt(10, "LEVEL", 70);
    cache_.SetInt(10, "SUB_LEVEL", 3);
    cache_.SetUInt64(10, "FLVL_TTL", UINT64_MAX);
    rkProcessTreeCacheHelper helper(&cache_);
    for (uint32_t size : {0u, 2u, 0x40000000u, 0xFFFFFFFFu}) {
        cache_.valueSizeOverride = size;
        int32_t level = 0;
        uint64_t ttl = 0;
        EXPECT_FALSE(helper.GetProcessProperty(10, nullptr, "LEVEL", level)) << size;
        EXPECT_FALSE(helper.GetProcessProperty(10, nullptr, "FLVL_TTL", ttl)) << size;
    }
    // A 4-byte answer for the 8-byte expiry must not read as "never expires".
    cache_.valueSizeOverride = 4;
    int32_t level = 0, subLevel = 0;
    EXPECT_TRUE(helper.GetProcessLevel(10, nullptr, level, subLevel));
    EXPECT_EQ(level, 70);
    EXPECT_NE(std::ranges::count(framework_.texts(),
                                 LogLine(35, "rkProcessTreeCacheHelper::GetProcessProperty",
                                         u"key : FLVL_TTL  size : 4 refused")),
              0);
}

// The order and the failed second read are tested over both process routes.
TEST_F(CacheHelper, HostileChainCountsAreRefused) {
    cache_.SetChain(10, {10});
    rkProcessTreeCacheHelper helper(&cache_);
    tierlock::ChainRecords records{{}};
    EXPECT_FALSE(helper.GetChainRecords(99, records));  // no chain: list untouched
    EXPECT_EQ(records.size(), 1u);
    for (uint32_t count : {0x7FFFFFFFu, 0xFFFFFFFFu, 100000u}) {
        cache_.chainCountOverride = count;
        EXPECT_FALSE(helper.GetChainRecords(10, records)) << count;
    }
    cache_.chainCountOverride = 0;
    EXPECT_TRUE(helper.GetChainRecords(10, records));
    EXPECT_TRUE(records.empty());
}

}  // namespace
