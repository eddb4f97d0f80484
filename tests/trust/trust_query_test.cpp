// The trust query against both simulated service versions: parameter sets per caller, masks,
// path mapping on 64-bit systems and how the answer is read.
#include <gtest/gtest.h>

#include "bundle/bundle.h"
#include "bundle/memory.h"
#include "platform/platform.h"
#include "testsupport/counting_memory.h"
#include "trust/trust_query.h"
#ifndef _WIN32
#include "platform/substitute.h"
#endif
#include "simhost/services.h"

namespace {

using tierlock::QueryTrust;
using tierlock::TrustCaller;
using tierlock::TrustQuery;
using tierlock::TrustServices;
using Numbers = simhost::BundleNumbers;

constexpr uint32_t kInt = RK_BUNDLE_INT;
constexpr uint32_t kInt64 = RK_BUNDLE_INT64;

class TrustQueryTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(v1_.refs() + v2_.refs(), 0u);
        EXPECT_EQ(v1_.underflows() + v2_.underflows(), 0u);
    }
    simhost::TrustQueryV1 v1_;
    simhost::TrustQueryV2 v2_;
};

TEST_F(TrustQueryTest, SecondVersionParameterColumns) {
    const TrustServices services{&v2_, &v1_, false};
    QueryTrust(services, u"C:\\a.exe", TrustQuery{TrustCaller::FileLevel, 0x17});
    QueryTrust(services, u"C:\\p.exe",
               TrustQuery{TrustCaller::Parent, 0x1DF, 0, 42, 0x1122334455667788ull});
    QueryTrust(services, u"C:\\c.exe", TrustQuery{TrustCaller::ChainSigner, 0x1C8, 7, 43, 9});
    QueryTrust(services, u"C:\\t.exe", TrustQuery{TrustCaller::TargetList, 0x1DF, -2, 44, 10});
    const auto calls = v2_.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(v1_.calls().empty());

    EXPECT_EQ(calls[0].parameters, (Numbers{{"sync_scan", {kInt, 1}},
                                            {"sublevel", {kInt, 0}},
                                            {"isSysFile", {kInt, 0}},
                                            {"update_process_level", {kInt, 0}},
                                            {"match_type", {kInt, 23}}}));
    EXPECT_EQ(calls[1].parameters,
              (Numbers{{"sync_scan", {kInt, 1}},
                       {"sublevel", {kInt, 0}},
                       {"isSysFile", {kInt, 0}},
                       {"update_process_level", {kInt, 1}},
                       {"process_id", {kInt, 42}},
                       {"process_create_time", {kInt64, 0x1122334455667788ull}},
                       {"match_type", {kInt, 0x1DF}}}));
    EXPECT_EQ(calls[2].parameters.at("sublevel"), (std::pair<uint32_t, uint64_t>{kInt, 7}));
    EXPECT_EQ(calls[2].parameters.at("match_type").second, 0x1C8u);
    EXPECT_EQ(calls[2].parameters.count("force_real_query"), 0u);
    EXPECT_EQ(calls[3].parameters.at("force_real_query").second, 1u);
    EXPECT_EQ(calls[3].parameters.at("sublevel").second, 0xFFFFFFFEu);
    EXPECT_EQ(calls[3].parameters.size(), 8u);
    for (const auto& call : calls) {
        EXPECT_EQ(call.skipOnEntry, 0);
        EXPECT_EQ(call.matchTypeOnEntry, 0u);
    }
}

TEST_F(TrustQueryTest, FirstVersionSendsTheMaskAndReadsItBack) {
    const TrustServices services{nullptr, &v1_, false};
    v1_.Answer(u"C:\\a.exe", {true, 1, 0x2});
    const auto answer =
        QueryTrust(services, u"C:\\a.exe", TrustQuery{TrustCaller::FileLevel, 0x17});
    QueryTrust(services, u"C:\\c.exe", TrustQuery{TrustCaller::ChainSigner, 0x1C8, 7, 1, 1});
    QueryTrust(services, u"C:\\t.exe", TrustQuery{TrustCaller::TargetList, 0x1DF, 7, 1, 1});
    const auto calls = v1_.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(std::tuple(calls[0].subLevel, calls[0].reserved, +calls[0].skipOnEntry,
                         calls[0].matchTypeOnEntry),
              std::tuple(0, 0, 0, 23u));
    // Only the report passes the item's sub-level.
    EXPECT_EQ(std::tuple(calls[1].subLevel, calls[1].matchTypeOnEntry, calls[2].subLevel),
              std::tuple(0, 0x1C8u, 7));
    EXPECT_EQ(std::tuple(answer.answered, +answer.skip, answer.matchType),
              std::tuple(true, 1, 0x2u));
}

// No service, or no parameter set to send, is no answer; a null path is sent empty.
TEST_F(TrustQueryTest, NoServiceOrNoParameterSetIsNoAnswer) {
    EXPECT_FALSE(QueryTrust(TrustServices{}, u"C:\\a.exe", TrustQuery{}).answered);
    QueryTrust(TrustServices{&v2_, nullptr, false}, nullptr, TrustQuery{});
    EXPECT_EQ(v2_.calls().at(0).path, u"");

    testsupport::Bundles().Reset();
    testsupport::Bundles().objectBudget = 0;
    v2_.Answer(u"C:\\a.exe", {true, 1, 0x17});
    tierlock::SetBundleMemory(&testsupport::CountingMemory());
    const auto answer = QueryTrust(TrustServices{&v2_, &v1_, false}, u"C:\\a.exe",
                                   TrustQuery{TrustCaller::FileLevel, 0x17});
    tierlock::SetBundleMemory(nullptr);
    EXPECT_FALSE(answer.answered);
    EXPECT_EQ(v2_.calls().size(), 1u);
    EXPECT_TRUE(v1_.calls().empty());  // no fallback to the first version either
}

TEST_F(TrustQueryTest, SysnativePathsAreMappedOnlyOn64BitSystems) {
#if !defined(_WIN32)
    tierlock::platform::SetSubstituteWindowsDirectory(u"C:\\Windows");
#endif
    std::u16string mapped;
    tierlock::platform::SysnativeToSystem32(u"C:\\Windows\\Sysnative\\Cmd.exe", mapped);
    ASSERT_NE(mapped, u"C:\\Windows\\Sysnative\\Cmd.exe");

    const TrustQuery query{TrustCaller::FileLevel, 0x17};
    const auto on64 =
        QueryTrust(TrustServices{&v2_, nullptr, true}, u"C:\\Windows\\Sysnative\\Cmd.exe", query);
    const auto on32 =
        QueryTrust(TrustServices{&v2_, nullptr, false}, u"C:\\Windows\\Sysnative\\Cmd.exe", query);
    EXPECT_EQ(v2_.calls()[0].path, mapped);
    EXPECT_EQ(v2_.calls()[1].path, u"C:\\Windows\\Sysnative\\Cmd.exe");
    // The answer carries the path that was sent, for the callers' lines.
    EXPECT_EQ(on64.path(), mapped);
    EXPECT_EQ(on32.path(), std::u16string(u"C:\\Windows\\Sysnative\\Cmd.exe"));
}

}  // namespace
