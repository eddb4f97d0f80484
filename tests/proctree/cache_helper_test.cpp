// The process-information cache helper against the simulated cache: finding the cache in the
// target's bundle, typed reads and writes, the level pair in force, and the process chain.
#include <gtest/gtest.h>

#include "bundle/bundle.h"
#include "log/log.h"
#include "platform/platform.h"
#include "procsource/process_source.h"
#include "proctree/proctree.h"
#include "simhost/framework.h"
#include "simhost/process_cache.h"
#include "simhost/rule_objects.h"
#include "simhost/text.h"

namespace {

using simhost::LogLine;
using tierlock::rkProcessTreeCacheHelper;

class CacheHelper : public ::testing::Test {
  protected:
    void SetUp() override {
        tierlock::g_pFrame.Assign(&framework_);
        cache_.AddProcess(10, 555, 4, u"C:\\app.exe");
    }
    void TearDown() override { tierlock::g_pFrame.Reset(); }

    simhost::Framework framework_;
    simhost::ProcessCache cache_;
    simhost::RuleTarget target_;
};

TEST_F(CacheHelper, CacheIsFoundInTheTargetsBundle) {
    EXPECT_EQ(tierlock::GetRKProcessTreeCache(nullptr), nullptr);
    EXPECT_TRUE(framework_.lines().empty());
    EXPECT_EQ(tierlock::GetRKProcessTreeCache(&target_), nullptr);
    target_.CarryCache(nullptr);
    EXPECT_EQ(tierlock::GetRKProcessTreeCache(&target_), nullptr);
    target_.CarryCache(&cache_);
    EXPECT_EQ(tierlock::GetRKProcessTreeCache(&target_), &cache_);
    EXPECT_EQ(framework_.texts(),
              (std::vector<std::u16string>{
                  LogLine(35, "GetRKProcessTreeCache", u"nullptr == Bundle"),
                  LogLine(35, "GetRKProcessTreeCache", u"ProcessTreeCache is null")}));
}

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
    EXPECT_EQ(writes[0].data, (std::vector<uint8_t>{70, 0, 0, 0}));
    EXPECT_EQ(writes[0].reserved, 0u);
    EXPECT_EQ(writes[0].createTime, 555u);
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
    std::vector<tierlock::RkProcessInfoRecord> records;
    EXPECT_FALSE(none.GetChainRecords(10, records));
    EXPECT_EQ(framework_.lines().size(), 3u);
}

TEST_F(CacheHelper, FixedPairWhileItsExpiryHasNotPassed) {
    cache_.SetInt(10, "LEVEL", 70);
    cache_.SetInt(10, "SUB_LEVEL", 3);
    cache_.SetInt(10, "FIX_LEVEL", 10);
    cache_.SetInt(10, "FIX_SUB_LEVEL", 1);
    rkProcessTreeCacheHelper helper(&cache_);
    enum Ttl { kCurrentSecond, kSecondAgo, kNever, kHourAhead };
    for (const auto& [ttl, fixed] : {std::pair{kCurrentSecond, true}, std::pair{kSecondAgo, false},
                                     std::pair{kNever, true}, std::pair{kHourAhead, true}}) {
        int32_t level = 0, subLevel = 0;
        uint64_t now = 0;
        do {  // the real clock may turn a second between setting and reading: retry
            framework_.ClearLog();
            level = subLevel = 0;  // a failed read leaves them alone: start every pass afresh
            now = tierlock::platform::CurrentUnixSeconds();
            const uint64_t value = ttl == kNever       ? UINT64_MAX
                                   : ttl == kHourAhead ? now + 3600
                                   : ttl == kSecondAgo ? now - 1
                                                       : now;
            cache_.SetUInt64(10, "FLVL_TTL", value);
            EXPECT_TRUE(helper.GetProcessLevel(10, nullptr, level, subLevel)) << ttl;
        } while (tierlock::platform::CurrentUnixSeconds() != now);
        EXPECT_EQ(level, fixed ? 10 : 70) << ttl;
        EXPECT_EQ(subLevel, fixed ? 1 : 3) << ttl;
        const auto lines = framework_.texts();
        if (ttl == kSecondAgo) {
            const std::u16string expiry =
                simhost::ToUtf16("FixLevelTTL : " + std::to_string(now - 1) +
                                 "  CurrentTime : " + std::to_string(now));
            EXPECT_NE(std::find(lines.begin(), lines.end(),
                                LogLine(30, "rkProcessTreeCacheHelper::GetProcessLevel", expiry)),
                      lines.end());
        }
        const std::u16string names = fixed ? u"KeyLevel : FIX_LEVEL  KeySubLevel : FIX_SUB_LEVEL"
                                           : u"KeyLevel : LEVEL  KeySubLevel : SUB_LEVEL";
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            LogLine(30, "rkProcessTreeCacheHelper::GetProcessLevel", names)),
                  lines.end());
    }
}

TEST_F(CacheHelper, LevelReadStopsAtTheFirstFailure) {
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
    const auto lines = framework_.texts();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        LogLine(35, "rkProcessTreeCacheHelper::GetProcessProperty",
                                u"key : FLVL_TTL  size : 4 refused")),
              lines.end());
}

TEST_F(CacheHelper, ChainIsReversedAndHostileCountsAreRefused) {
    cache_.AddProcess(4, 444, 1, u"C:\\parent.exe");
    cache_.AddProcess(1, std::nullopt, 0, u"C:\\root.exe");
    cache_.SetChain(10, {10, 4, 1});
    rkProcessTreeCacheHelper helper(&cache_);
    std::vector<tierlock::RkProcessInfoRecord> records;
    ASSERT_TRUE(helper.GetChainRecords(10, records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].processId, 1u);
    EXPECT_EQ(records[2].processId, 10u);
    EXPECT_EQ(records[1].createTime, 444u);
    EXPECT_EQ(std::u16string(records[1].imagePath), u"C:\\parent.exe");

    std::vector<tierlock::RkProcessInfoRecord> untouched(1);
    EXPECT_FALSE(helper.GetChainRecords(99, untouched));  // no chain: list untouched
    EXPECT_EQ(untouched.size(), 1u);

    cache_.failChainFill = true;
    EXPECT_FALSE(helper.GetChainRecords(10, records));
    EXPECT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].processId, 0u);  // zero-filled records stay

    cache_.failChainFill = false;
    for (uint32_t count : {0x7FFFFFFFu, 0xFFFFFFFFu, 100000u}) {
        cache_.chainCountOverride = count;
        EXPECT_FALSE(helper.GetChainRecords(10, records)) << count;
    }
    cache_.chainCountOverride = 0;
    EXPECT_TRUE(helper.GetChainRecords(10, records));
    EXPECT_TRUE(records.empty());
}

}  // namespace
