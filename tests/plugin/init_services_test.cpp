// Init's service queries as the host sees them: order, error lines and every reference.
#include <cstdio>
#include <cstdlib>

#include "log/log.h"
#include "platform/platform.h"
#ifndef _WIN32
#include "platform/substitute.h"
#endif
#include "plugin/tierlock.h"
#include "plugin_fixture.h"
#include "simhost/proc_tree.h"
#include "simhost/services.h"
#include "simhost/text.h"

namespace {

using simhost::LogLine;

class InitServices : public PluginTest {
  protected:
    void ServeAll() {
        framework_.Serve(IID_IRKCACHE, &cache_);
        framework_.Serve(IID_IRKEngCloudV2, &cloud_);
        framework_.Serve(IID_IRKMisKillingQuery_V2, &queryV2_);
        framework_.Serve(IID_IRKMisKillingQuery, &queryV1_);
        framework_.Serve(IID_IRKProcTreeV3Ctrl, &tree_);
        framework_.Serve(IID_IRKProcessTreeHelperCtrl, &treeHelper_);
    }
    void ExpectNoUnderflow() {
        EXPECT_EQ(cache_.underflows() + cloud_.underflows() + queryV1_.underflows() +
                      queryV2_.underflows() + tree_.underflows() + treeHelper_.underflows(),
                  0u);
    }

    simhost::CacheService cache_;
    simhost::CloudEngine cloud_;
    simhost::TrustQueryV1 queryV1_;
    simhost::TrustQueryV2 queryV2_;
    simhost::ProcessTree processTree_;
    simhost::ProcTreeCtrl& tree_ = *processTree_.ctrl();
    simhost::ProcTreeHelperCtrl& treeHelper_ = *processTree_.helper();
};

std::u16string InitLine(int32_t level, const char16_t* message) {
    return LogLine(level, "Tierlock::Init", message);
}

TEST_F(InitServices, MissingServicesAreLoggedAndInitStillSucceeds) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, ""));
    auto lines = framework_.texts();
    ASSERT_EQ(lines.size(), 7u);
    const std::vector<std::u16string> expected = {
        InitLine(35, u"Init query IID_IRKCACHE error"),
        InitLine(35, u"Init query IID_IRKEngCloudV2 error"),
        InitLine(35, u"query IID_IRKMisKillingQuery_V2 failed"),
        InitLine(35, u"Init query IID_IRKMisKillingQuery failed"),
        InitLine(35, u"query_interface IRKProcTreeV3Ctrl AND IRKProcessTreeHelperCtrl fail"),
    };
    EXPECT_EQ(std::vector<std::u16string>(lines.begin(), lines.begin() + 5), expected);
    EXPECT_EQ(lines[6], InitLine(30, u"Init ok"));
    const auto queries = framework_.queries();
    const std::vector<RkGuid> order = {
        IID_IRKCACHE,           IID_IRKEngCloudV2,     IID_IRKMisKillingQuery_V2,
        IID_IRKMisKillingQuery, IID_IRKProcTreeV3Ctrl, IID_IRKProcessTreeHelperCtrl};
    EXPECT_TRUE(queries == order);
}

TEST_F(InitServices, EveryReferenceIsDroppedOnReleaseButTheCloudEngine) {
    ServeAll();
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, ""));
    const auto lines = framework_.texts();
    ASSERT_EQ(lines.size(), 3u);
    char pointer[16];
    std::snprintf(pointer, sizeof(pointer), "%X",
                  static_cast<unsigned>(
                      reinterpret_cast<uintptr_t>(static_cast<IRKProcTreeV3Ctrl*>(&tree_))));
    EXPECT_EQ(lines[0], InitLine(30, (u"query_interface IRKProcTreeV3Ctrl Success,m_ProcTree=0x" +
                                      simhost::ToUtf16(pointer))
                                         .c_str()));
    // The second version answered, so the first is never asked for.
    EXPECT_EQ(framework_.queries().size(), 5u);
    EXPECT_EQ(queryV1_.adds(), 0u);
    EXPECT_EQ(cache_.refs() + queryV2_.refs() + tree_.refs() + treeHelper_.refs(), 4u);

    // Init again after UnInit: held services are swapped, never referenced twice.
    plug->UnInit();
    ASSERT_TRUE(InitWith(plug, ""));
    EXPECT_EQ((std::vector{cache_.refs(), queryV2_.refs(), tree_.refs(), treeHelper_.refs()}),
              std::vector(4, 1u));

    ReleasePlug(plug);
    EXPECT_EQ(cache_.refs() + queryV2_.refs() + tree_.refs() + treeHelper_.refs(), 0u);
    EXPECT_EQ(cloud_.refs(), 2u);  // held without a reference of its own, never released
    ExpectNoUnderflow();
}

TEST_F(InitServices, FirstVersionTrustQueryWhenTheSecondFails) {
    ServeAll();
    // A failing query that still hands out an object: that reference must not leak.
    framework_.Serve(IID_IRKMisKillingQuery_V2, &queryV2_, RK_E_NOINTERFACE);
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, ""));
    EXPECT_EQ(framework_.texts()[0], InitLine(35, u"query IID_IRKMisKillingQuery_V2 failed"));
    EXPECT_EQ(std::make_pair(queryV1_.refs(), queryV2_.refs()), std::make_pair(1u, 0u));
    plug->UnInit();
    ASSERT_TRUE(InitWith(plug, ""));
    EXPECT_EQ(queryV1_.refs(), 1u);

    // The first version disappearing drops the one held.
    framework_.Serve(IID_IRKMisKillingQuery, nullptr, RK_E_NOINTERFACE);
    plug->UnInit();
    framework_.ClearLog();
    ASSERT_TRUE(InitWith(plug, ""));
    EXPECT_EQ(framework_.texts()[1], InitLine(35, u"Init query IID_IRKMisKillingQuery failed"));
    EXPECT_EQ(queryV1_.refs(), 0u);
    ReleasePlug(plug);
    ExpectNoUnderflow();
}

TEST_F(InitServices, TreeServicesAreNeededAsAPair) {
    ServeAll();
    framework_.Serve(IID_IRKProcessTreeHelperCtrl, &treeHelper_, -1);
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, ""));
    const std::u16string unpaired =
        InitLine(35, u"query_interface IRKProcTreeV3Ctrl AND IRKProcessTreeHelperCtrl fail");
    EXPECT_EQ(std::ranges::count(framework_.texts(), unpaired), 1);
    ReleasePlug(plug);
    EXPECT_EQ(tree_.refs() + treeHelper_.refs(), 0u);
    ExpectNoUnderflow();
}

TEST_F(InitServices, PlatformWidthOfTheRunningSystem) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, ""));
    // Under Wine the test script says which prefix runs; natively the machine is x86-64.
    const char* expected = std::getenv("TIERLOCK_EXPECT_WIN64");
#if defined(_WIN32)
    ASSERT_NE(expected, nullptr) << "run Windows tests through scripts/test.sh";
#else
    expected = "1";
#endif
    const std::u16string line =
        InitLine(30, std::string(expected) == "1" ? u"GetIsWin64=1" : u"GetIsWin64=0");
    EXPECT_EQ(framework_.texts()[framework_.texts().size() - 2], line);
}

TEST(InitPlatformWidth, ZeroWhenTheSystemFunctionIsMissingOrNotX64) {
#if defined(_WIN32)
    GTEST_SKIP() << "the substitute is only used off Windows";
#else
    for (std::optional<uint16_t> architecture :
         {std::optional<uint16_t>{}, std::optional<uint16_t>{0}, std::optional<uint16_t>{12}}) {
        simhost::Framework framework;
        tierlock::platform::SetSubstituteArchitecture(architecture);
        {
            tierlock::Tierlock plug;
            ASSERT_TRUE(plug.Init(&framework, nullptr, 0));
        }
        tierlock::g_pFrame.Reset();
        const auto lines = framework.texts();
        EXPECT_EQ(lines[lines.size() - 2], InitLine(30, u"GetIsWin64=0"));
    }
    tierlock::platform::SetSubstituteArchitecture(tierlock::platform::kArchitectureAmd64);
#endif
}

}  // namespace
