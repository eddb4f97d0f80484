// Log lines of the lifecycle operations, byte for byte, with the host's per-level probe.
#include "plugin_fixture.h"
#include "simhost/text.h"

namespace {

using simhost::LogLine;

constexpr int32_t kInfo = 30;
constexpr int32_t kError = 35;
constexpr int32_t kCore = 50;

TEST_F(PluginTest, LifecycleLinesAreExact) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(plug->Init(&framework_, nullptr, 0));
    framework_.ClearLog();

    plug->SetEnable(16, true);
    plug->SetEnable(16, false);
    plug->SetEnable(305, false);
    plug->SetEnable(7, true);
    plug->FirstProcessEvent(nullptr, nullptr);
    plug->PreProcessEvent(nullptr, nullptr);
    plug->PostProcessEvent(nullptr, nullptr);
    plug->AfterProcessEvent(nullptr, nullptr, nullptr);
    plug->UnInit();

    const std::vector<std::u16string> expected = {
        LogLine(kCore, "Tierlock::SetEnable", u"key : 16  enable : True"),
        LogLine(kInfo, "Tierlock::SetEnable", u"RKOPT_TIERLOCK_ENABLE : True"),
        LogLine(kCore, "Tierlock::SetEnable", u"key : 16  enable : False"),
        LogLine(kInfo, "Tierlock::SetEnable", u"RKOPT_TIERLOCK_ENABLE : False"),
        LogLine(kCore, "Tierlock::SetEnable", u"RKOPT_SERCUREAPI_IS_OPEN bSercureApiSwitch = 0"),
        LogLine(kInfo, "Tierlock::FirstProcessEvent", u" need not proced"),
        LogLine(kInfo, "Tierlock::PreProcessEvent", u" need not proced"),
        LogLine(kInfo, "Tierlock::PostProcessEvent", u" need not proced"),
        LogLine(kInfo, "Tierlock::AfterProcessEvent", u" need not proced"),
        LogLine(kInfo, "Tierlock::UnInit", u"UnInit ok"),
    };
    EXPECT_EQ(framework_.texts(), expected);
}

TEST_F(PluginTest, RefusedLevelCostsOneProbeAndNothingElse) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(plug->Init(&framework_, nullptr, 0));
    framework_.ClearLog();
    framework_.SetProbeAnswer(kInfo, 1);

    plug->SetEnable(16, true);  // one CORE and one INFO line
    plug->FirstProcessEvent(nullptr, nullptr);

    EXPECT_EQ(framework_.texts(), std::vector<std::u16string>{LogLine(kCore, "Tierlock::SetEnable",
                                                                      u"key : 16  enable : True")});
    EXPECT_EQ(framework_.probes(kInfo), 2u);
    EXPECT_EQ(framework_.probes(kCore), 1u);

    // A CORE refusal does not stop the INFO line that follows it.
    framework_.ClearLog();
    framework_.SetProbeAnswer(kInfo, 0);
    framework_.SetProbeAnswer(kCore, -1);
    plug->SetEnable(16, false);
    EXPECT_EQ(framework_.texts(),
              std::vector<std::u16string>{
                  LogLine(kInfo, "Tierlock::SetEnable", u"RKOPT_TIERLOCK_ENABLE : False")});
}

// The first framework stays: a later null one is reported through it, a later other one
// receives nothing.
TEST_F(PluginTest, InitKeepsTheFirstFramework) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(plug->Init(&framework_, nullptr, 0));
    EXPECT_EQ(framework_.texts().back(), LogLine(kInfo, "Tierlock::Init", u"Init ok"));
    EXPECT_FALSE(NewPlug()->Init(nullptr, nullptr, 0));
    EXPECT_EQ(framework_.lines().back().level, kError);
    EXPECT_EQ(framework_.texts().back(),
              LogLine(kError, "Tierlock::Init", u"Parameter error,pFramework=nullptr"));

    simhost::Framework second;
    EXPECT_TRUE(plug->Init(&second, nullptr, 0));
    plug->UnInit();
    EXPECT_TRUE(second.lines().empty());
    EXPECT_EQ(framework_.texts().back(), LogLine(kInfo, "Tierlock::UnInit", u"UnInit ok"));
}

}  // namespace
