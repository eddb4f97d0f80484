// The library as the host reaches it: exports found by name, the object used by table slot,
// and the log lines of the lifecycle operations, byte for byte, with the per-level probe.
#include <cstring>

#include "plugin_fixture.h"
#include "simhost/text.h"

namespace {

using simhost::LogLine;

IRkRulePlug* const kSentinel = reinterpret_cast<IRkRulePlug*>(0x5a5a5a5a);

// An id that differs in any single byte, a null id and a null out slot are refused; the slot
// stays untouched.
TEST_F(PluginTest, RefusesWrongIdsAndNullArguments) {
    for (size_t byte = 0; byte < sizeof(RkGuid); ++byte) {
        RkGuid iid = IID_IRkRulePlug;
        reinterpret_cast<uint8_t*>(&iid)[byte] ^= 0x01;
        IRkRulePlug* out = kSentinel;
        EXPECT_FALSE(library_->Create(&iid, &out)) << "byte " << byte;
        EXPECT_EQ(out, kSentinel) << "byte " << byte;
    }
    EXPECT_FALSE(library_->Create(&IID_IRkRulePlug, nullptr));
    IRkRulePlug* out = kSentinel;
    EXPECT_FALSE(library_->Create(nullptr, &out));
    EXPECT_EQ(out, kSentinel);
    library_->Release(nullptr);  // does nothing
}

TEST_F(PluginTest, IdIsComparedInWindowsGuidLayout) {
    const uint8_t raw[16] = {0x71, 0xA4, 0x07, 0xB6, 0x90, 0xB1, 0x66, 0x44,
                             0xA6, 0xE0, 0x61, 0x81, 0x74, 0x08, 0x9D, 0x16};
    RkGuid iid;
    std::memcpy(&iid, raw, sizeof(iid));
    IRkRulePlug* out = nullptr;
    ASSERT_TRUE(library_->Create(&iid, &out));
    ASSERT_NE(out, nullptr);
    library_->Release(out);
}

TEST_F(PluginTest, ObjectsAreDistinctAndOutliveEachOther) {
    IRkRulePlug* first = NewPlug();
    IRkRulePlug* second = NewPlug();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);

    ReleasePlug(first);
    EXPECT_TRUE(second->Init(&framework_, nullptr, 0));
    second->SetEnable(16, true);
    EXPECT_EQ(second->FirstProcessEvent(nullptr, nullptr), 0);
    second->UnInit();
    EXPECT_EQ(framework_.texts().back(), LogLine(30, "Tierlock::UnInit", u"UnInit ok"));
}

// Before the first Init the hooks answer neutrally and nothing reaches the host, not even a
// level probe; afterwards they answer the same.
TEST_F(PluginTest, NothingReachesTheHostBeforeTheFirstInit) {
    IRkRulePlug* plug = NewPlug();
    int dummy = 0;
    plug->SetEnable(16, true);
    plug->SetEnable(305, false);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(plug->FirstProcessEvent(&dummy, &dummy), 0);
        EXPECT_EQ(plug->PreProcessEvent(&dummy, nullptr), 0);
        EXPECT_EQ(plug->PostProcessEvent(nullptr, &dummy), 0);
        EXPECT_FALSE(plug->AfterProcessEvent(&dummy, &dummy, &dummy));
        if (round == 0) {
            plug->UnInit();
            EXPECT_FALSE(plug->Init(nullptr, nullptr, 0));
            EXPECT_TRUE(framework_.lines().empty());
            EXPECT_EQ(framework_.probes(30) + framework_.probes(35) + framework_.probes(50), 0u);
            ASSERT_TRUE(plug->Init(&framework_, nullptr, 0));
        }
    }
}

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
