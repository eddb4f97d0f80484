// The library as the host reaches it: exports found by name, the object used by table slot,
// and the log lines of the lifecycle operations, byte for byte, with the per-level probe.
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "abi/bundle.h"
#include "abi/host.h"
#include "abi/nuv_base.h"
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

// The 16 bytes a Windows GUID written as "{8-4-4-4-12}" is stored as: the first three fields
// little-endian, the last eight bytes in order.
RkGuid FromText(std::string_view text) {
    std::string hex;
    for (const char c : text) {
        hex += std::isxdigit(static_cast<unsigned char>(c)) ? std::string(1, c) : "";
    }
    constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    uint8_t raw[16];
    for (int i = 0; i < 16; ++i) {
        raw[kOrder[i]] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    RkGuid iid;
    std::memcpy(&iid, raw, sizeof(iid));
    return iid;
}

// Every interface id is the host's published one: the simulated host shares these declarations,
// so no call through it would notice a wrong byte.
TEST_F(PluginTest, InterfaceIdsAreTheHostsPublishedOnes) {
    const std::pair<const RkGuid*, const char*> ids[] = {
        {&IID_IRkRulePlug, "{B607A471-B190-4466-A6E0-618174089D16}"},
        {&IID_IRKCACHE, "{70FFED92-811D-427B-9334-60292E2266A4}"},
        {&IID_IRKEngCloudV2, "{3FA87E4E-7FA8-4AFB-9BDA-7970E4EBAD90}"},
        {&IID_IRKMisKillingQuery_V2, "{43B6D9FC-90A0-4C5C-8C31-C37CD3A05E5B}"},
        {&IID_IRKMisKillingQuery, "{B85A4655-84C3-4DE1-8385-0C1F827CE76C}"},
        {&IID_IRKProcTreeV3Ctrl, "{6288C17D-9C84-49AB-A52E-AF8051314891}"},
        {&IID_IRKProcessTreeHelperCtrl, "{E9BB9516-1D52-4023-8243-FED3AA357E2D}"},
        {&IID_IRkRuleTarget, "{E4FA2813-5A34-49A0-8E27-260EBD2C11CF}"},
        {&IID_IASBundle, "{EC62E9BC-408E-462E-B831-D2C502D2F406}"},
        {&IID_ISmartUnknown, "{6DADA238-8BD1-4DE4-A224-7D27539DA995}"},
        {&IID_IRkBundle, "{0A817E52-D5F7-4100-AB9F-BADCDBDCD9A5}"},
        {&IID_IRKScanItem, "{77126ED9-86E1-4E0B-B55C-85CC3E9B6BA8}"},
        {&IID_NUVCompatLoader, "{F73595D8-C098-4549-ADF9-8042F87AF339}"},
        {&IID_HolmBaseService, "{427FB576-CFB6-4786-940D-E1D00E5521BA}"},
        {&IID_NUVModuleLookup, "{62C4D866-AC50-4A39-B2EC-CA50E5AC94CD}"},
        {&IID_NUVBaseService2, "{DCBDC082-7349-4FB8-8850-3504CB477C72}"},
        {&IID_NUVBaseService1, "{52203844-735C-447B-ACBC-73456337672C}"},
        {&IID_NUVBaseService5, "{FC588690-8589-4EDA-BBB4-2E41964CB580}"},
        {&IID_BaseComponent, "{0DC96F71-3DB7-4EBE-91DB-8A49941C0F3B}"},
    };
    for (const auto& [iid, text] : ids) {
        EXPECT_TRUE(*iid == FromText(text)) << text;
    }
    const RkGuid plug = FromText(ids[0].second);
    IRkRulePlug* out = nullptr;
    ASSERT_TRUE(library_->Create(&plug, &out));
    library_->Release(out);
}

TEST_F(PluginTest, ObjectsAreDistinctAndOutliveEachOther) {
    IRkRulePlug* first = NewPlug();
    IRkRulePlug* second = NewPlug();
    ASSERT_NE(second, nullptr);  // first is only released, which takes a null too
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
