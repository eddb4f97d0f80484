// LastProcessEvent through the shipped library against the simulated host: events from the
// guards to the verdict, the request the host receives, and every reference and tree root
// balanced afterwards.
#include <algorithm>
#include <atomic>
#include <deque>
#include <thread>

#include "../report/block_decoder.h"
#include "abi/report_records.h"
#include "bundle/bundle.h"
#include "plugin_fixture.h"
#include "rules/candidate_filter.h"
#include "simhost/proc_tree.h"
#include "simhost/rule_objects.h"
#include "simhost/services.h"
#include "simhost/text.h"

namespace {

using report_test::ReadValue;
using report_test::U32At;
using simhost::LogLine;

// Rules 2 to 4 fit rule id 103; 4 does not match. The last match wins, with its own report
// type.
constexpr char kConfig[] = R"({"enable":1,
  "matchmode":[
    {"modeid":1,"mode":[{"id":1,"srclvl":"70.3","popwnd":"untrusted"}]},
    {"modeid":2,"mode":[{"id":1,"srclvl":"70","popwnd":"second"}]},
    {"modeid":3,"mode":[{"id":1,"srclvl":"90","popwnd":"third"}]}],
  "rules":[
    {"id":1,"eventtype":1,"reporttype":0,"ruleid":"101","modeid":1},
    {"id":2,"eventtype":1,"reporttype":8,"ruleid":"103","modeid":1},
    {"id":3,"eventtype":1,"reporttype":1,"ruleid":"103","modeid":2},
    {"id":4,"eventtype":1,"reporttype":8,"ruleid":"103","modeid":3}]})";

constexpr char kTag[] = "Tierlock::LastProcessEvent";

// A class-1 rule id without a rule whose filter bit is that of a covered one, so that the
// event passes the filter and must be turned away by the rule set itself.
uint32_t RuleIdSharingABit() {
    tierlock::MatchRules rules(1);
    rules[0].type = tierlock::kClassFile;
    rules[0].ruleid = {101, 103};
    tierlock::CandidateFilter filter;
    filter.Narrow(tierlock::RuleSet(std::move(rules), {}));
    uint32_t ruleId = 104;
    while (!filter.MayHaveCandidates(tierlock::kClassFile, ruleId)) {
        ++ruleId;
    }
    return ruleId;
}
constexpr uint64_t kActingCreateTime = 133000000000000000ull;

class LastProcessEvent : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        framework_.Serve(IID_IRKProcTreeV3Ctrl, tree_.ctrl());
        framework_.Serve(IID_IRKProcessTreeHelperCtrl, tree_.helper());
        framework_.Serve(IID_IRKMisKillingQuery_V2, &trust_);
        plug_ = NewPlug();
        ASSERT_TRUE(InitWith(plug_, kConfig));
        plug_->SetEnable(16, true);

        // The acting process under cmd, the parent the tree knows for it.
        const auto cmd = tree_.AddProcess({50, u"C:\\Windows\\System32\\cmd.exe", 0, 0});
        tree_.AddProcess({100, u"C:\\Temp\\a.exe", kActingCreateTime, 0}, cmd);

        record_.Class = tierlock::kClassFile;
        record_.syncMode = 2;
        record_.uRuleId = 101;
        record_.GroupId = 7;
        record_.ProcessId = 100;
        record_.PPID = 50;
        record_.ProcessPath = u"C:\\Temp\\a.exe";
        record_.ProcessCmd = u"a.exe /quiet";
        target_.srcLevel = 70;
        target_.srcSubLevel = 3;
        target_.guardType = 5;
        target_.operatorType = 6;
        AddItem(1, u"C:\\Temp\\drop.dll");
    }
    void TearDown() override {
        ReleasePlug(plug_);
        for (IRKScanItem* scanItem : scanItems_) {
            scanItem->Release();
        }
        if (extBundle_) {
            extBundle_->Release();
        }
        // The event's own reference is the only one left on each request bundle.
        for (const auto& attached : event_.attached()) {
            EXPECT_EQ(attached.bundle->AddRef(), 2u);
            attached.bundle->Release();
        }
        event_.ReleaseAttached();
        EXPECT_EQ(tree_.heldRoots(), 0u);
        EXPECT_EQ(tree_.releaseUnderflows(), 0u);
        EXPECT_EQ(trust_.refs() + tree_.ctrl()->refs() + tree_.helper()->refs(), 0u);
        EXPECT_EQ(trust_.underflows() + tree_.ctrl()->underflows() + tree_.helper()->underflows(),
                  0u);
        PluginTest::TearDown();
    }

    void AddItem(uint32_t type, const char16_t* path) {
        IRKScanItem* scanItem = nullptr;
        ASSERT_EQ(tierlock::CreateScanItem(&scanItem), RK_S_OK);
        scanItem->SetPath(path);
        scanItems_.push_back(scanItem);
        items_.push_back({type, 100, 0, 0, {0, 0}, scanItem});
        target_.items[type] = &items_.back();
    }

    // The host's extra event properties with the acting process's creation time.
    void GiveCreateTime(uint32_t recordSize) {
        ASSERT_EQ(tierlock::CreateBundle(&extBundle_), RK_S_OK);
        extBundle_->PutInt64("real_current_pid_time", static_cast<uint32_t>(kActingCreateTime),
                             static_cast<uint32_t>(kActingCreateTime >> 32));
        record_.recordSize = recordSize;
        record_.extBundle = extBundle_;
    }

    int32_t Run() { return plug_->LastProcessEvent(&event_, &engine_); }

    IRkBundle* Request() const {
        return event_.attached().empty() ? nullptr : event_.attached().back().bundle;
    }

    bool Logged(int32_t level, const char* tag, const std::u16string& message) const {
        const auto texts = framework_.texts();
        return std::find(texts.begin(), texts.end(), LogLine(level, tag, message)) != texts.end();
    }

  public:  // the case tables arrange events through these
    IRkRulePlug* plug_ = nullptr;
    simhost::ProcessTree tree_;
    simhost::TrustQueryV2 trust_;
    simhost::RuleEvent event_;
    tierlock::RkEventRecord& record_ = event_.record;
    simhost::RuleTarget target_;
    simhost::RuleEngine engine_{&target_};
    std::vector<IRKScanItem*> scanItems_;
    std::deque<tierlock::RkItemRecord> items_;
    IASBundle* extBundle_ = nullptr;
};

TEST_F(LastProcessEvent, EventsOutsideTheConfigurationLeaveBeforeAnyLevelIsResolved) {
    struct Case {
        const char* name;
        void (*arrange)(LastProcessEvent&);
        std::u16string lastLine;  // empty: the call writes no line of its own
    };
    const Case cases[] = {
        // Asynchronous and uncovered events are in the recorded replays.
        {"rule id shares a filter bit with a covered one",
         [](LastProcessEvent& t) { t.record_.uRuleId = RuleIdSharingABit(); },
         LogLine(30, kTag, u"This event does not require processing")},
        {"rule id fits, class does not",
         [](LastProcessEvent& t) { t.record_.Class = tierlock::kClassProcess; },
         LogLine(30, kTag, u"This event does not require processing")},
        {"settled as passed", [](LastProcessEvent& t) { t.target_.properties[4].value = 1; },
         LogLine(30, kTag, u"该事件是放行事件已被明确处理结果，Last接口不再处理")},
        {"reported as dangerous", [](LastProcessEvent& t) { t.target_.properties[2].value = 1; },
         LogLine(30, kTag, u"该事件是风险事件已被报出，Last接口不再处理")},
        {"no record", [](LastProcessEvent& t) { t.event_.hasRecord = false; }, u""},
    };
    const tierlock::RkEventRecord original = record_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        record_ = original;
        event_.hasRecord = true;
        target_.properties.clear();
        c.arrange(*this);
        framework_.ClearLog();
        tree_.ClearCalls();
        EXPECT_EQ(Run(), 0);
        const auto texts = framework_.texts();
        if (c.lastLine.empty()) {
            EXPECT_TRUE(texts.empty());
        } else {
            ASSERT_FALSE(texts.empty());
            EXPECT_EQ(texts.back(), c.lastLine);
        }
        EXPECT_TRUE(framework_.textsTagged("Tierlock::GetSrcLevel").empty());
        EXPECT_EQ(tree_.calls(simhost::TreeOp::FindNodeByPid), 0u);
        EXPECT_TRUE(trust_.calls().empty());
    }
}

TEST_F(LastProcessEvent, APassedEventIsNotAskedWhetherItIsDangerous) {
    target_.properties[4] = {0, 1};
    target_.properties[2] = {0, 1};
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(target_.propertyReads(), std::vector<uint32_t>{4});
}

TEST_F(LastProcessEvent, StateGuardsComeFirst) {
    EXPECT_EQ(plug_->LastProcessEvent(nullptr, &engine_), 0);
    EXPECT_TRUE(target_.propertyReads().empty());

    simhost::RuleEngine noTarget(nullptr);
    framework_.ClearLog();
    EXPECT_EQ(plug_->LastProcessEvent(&event_, &noTarget), 0);
    EXPECT_EQ(framework_.texts().back(), LogLine(35, kTag, u"GetTarget Fail"));

    plug_->SetEnable(16, false);
    framework_.ClearLog();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(framework_.texts(),
              std::vector<std::u16string>{
                  LogLine(30, kTag, u" has been disabled  m_isEnabled : 1  m_isEnabled2 : 0")});

    plug_->UnInit();
    framework_.ClearLog();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(framework_.texts(),
              std::vector<std::u16string>{LogLine(35, kTag, u"please reinitialize")});
}

TEST_F(LastProcessEvent, TheUsersAnswerBecomesTheVerdict) {
    struct Case {
        bool popResult;
        int32_t answer;
        int32_t verdict;
        const char16_t* line;
        bool writesAnswer = true;
    };
    const Case cases[] = {
        {true, 2, 1, u"处置1.同步弹窗上报返回：ret=1, userBlock=1.插件返回BLOCK"},
        {true, 0, 2, u"处置1.同步弹窗上报返回：ret=1, userBlock=0.插件返回BLOCK"},
        {true, 1, 2, u"处置1.同步弹窗上报返回：ret=1, userBlock=0.插件返回BLOCK"},
        {true, 3, 2, u"处置1.同步弹窗上报返回：ret=1, userBlock=0.插件返回BLOCK"},
        // A failed pop-up leaves the answer 0: shown, not blocked.
        {false, 0, 2, u"处置1.同步弹窗上报返回：ret=0, userBlock=0.插件返回BLOCK"},
        {false, 2, 2, u"处置1.同步弹窗上报返回：ret=0, userBlock=0.插件返回BLOCK", false},
    };
    for (const Case& c : cases) {
        framework_.SetPopWndAnswer(c.popResult, c.answer, c.writesAnswer);
        framework_.ClearLog();
        EXPECT_EQ(Run(), c.verdict) << "answer " << c.answer;
        const auto lines = framework_.textsTagged(kTag);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], LogLine(30, kTag, c.line));
        EXPECT_EQ(lines.back(), LogLine(30, kTag, u"g_pFrame->PopWnd called"));
    }
    const auto popups = framework_.popups();
    ASSERT_EQ(popups.size(), 6u);
    EXPECT_EQ(popups[0].event, &event_);
    EXPECT_EQ(popups[0].mode, 1);
    ASSERT_EQ(event_.attached().size(), 6u);
    EXPECT_EQ(event_.attached()[0].kind, 2);
}

TEST_F(LastProcessEvent, TheRequestDescribesTheProcessTheRuleAndTheReport) {
    GiveCreateTime(tierlock::kRecordSizeWithExtBundle);
    record_.GroupId = 0x8007;  // zero-extended, never signed
    EXPECT_EQ(Run(), 2);
    IRkBundle* request = Request();
    ASSERT_NE(request, nullptr);

    // Every key's tag, size and value, the target list and the chain are compared by the recorded
    // replays; here what depends on the build's width: the time's halves and the rule block.
    const auto createTime = ReadValue(request, u"ProcessCreatetime");
    EXPECT_EQ(createTime.tag, tierlock::kTagInt64);
    ASSERT_EQ(createTime.bytes.size(), 8u);
    EXPECT_EQ(U32At(createTime.bytes, 0) | uint64_t{U32At(createTime.bytes, 4)} << 32,
              kActingCreateTime);

    const auto ruleInfo = ReadValue(request, u"ruleInfo");
    EXPECT_EQ(ruleInfo.tag, 4u);
    ASSERT_EQ(ruleInfo.bytes.size(), 1052u);
    EXPECT_EQ(report_test::U32sAt(ruleInfo.bytes, 0, 3), (std::vector<uint32_t>{2, 0x8007, 101}));
    EXPECT_TRUE(report_test::AllZero(ruleInfo.bytes, 12, 1040));

    EXPECT_TRUE(
        Logged(50, kTag, u"GuardType=5,OperatorType=6,ProcessId=100,ProcessPath=C:\\Temp\\a.exe"));
    EXPECT_TRUE(Logged(50, kTag, u"GroupId=32775,RuleId=101, engType=2"));
    EXPECT_TRUE(Logged(30, kTag, u"Class=1 uRuleId=101 issync=true"));

    // Only the extended record carries the creation time.
    record_.recordSize = 108;
    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(ReadValue(Request(), u"ProcessCreatetime").bytes, report_test::Bytes(8, 0));
}

TEST_F(LastProcessEvent, FittingRulesAreAllComparedAndTheLastMatchIsReported) {
    record_.uRuleId = 103;
    framework_.ClearLog();
    EXPECT_EQ(Run(), 2);
    // Each candidate is dumped when chosen, and again when its mode matched.
    std::vector<char16_t> dumped;
    for (const auto& line : framework_.textsTagged("Tierlock::PRINTF_MACTCH_RULE")) {
        dumped.push_back(line[line.find(u"id=") + 3]);
    }
    EXPECT_EQ(dumped, (std::vector<char16_t>{u'2', u'3', u'4', u'2', u'3'}));
    const auto popWin = ReadValue(Request(), u"PopWin");
    EXPECT_EQ(std::string(popWin.bytes.begin(), popWin.bytes.end()), "second");
    EXPECT_EQ(framework_.textsTagged("Tierlock::GetReportDangerList"),
              std::vector<std::u16string>{LogLine(30, "Tierlock::GetReportDangerList",
                                                  u"GetReportDangerList report_type=1")});
}

// Host worker threads call the hook at once while the configuration is replaced: every event
// gets a whole verdict, and the counts balance afterwards.
TEST_F(LastProcessEvent, WorkerThreadsShareThePlugin) {
    std::atomic<int> shown{0}, unshown{0}, odd{0};
    std::atomic<bool> settled{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            simhost::RuleEvent event;
            event.record = record_;
            simhost::RuleTarget target;
            target.srcLevel = 70;
            target.srcSubLevel = 3;
            tierlock::RkItemRecord item = items_.front();
            target.items[1] = &item;
            simhost::RuleEngine engine(&target);
            // Events during the replacements, then as many once the last Init has finished:
            // how many of the first land while the plug-in is initialised depends on timing.
            for (int late = 0; late < 50; late += settled ? 1 : 0) {
                event.record.PPID = 50;
                const int32_t verdict = plug_->LastProcessEvent(&event, &engine);
                ++(verdict == 2 ? shown : verdict == 0 ? unshown : odd);
            }
            event.ReleaseAttached();
        });
    }
    for (int i = 0; i < 5; ++i) {
        plug_->UnInit();
        EXPECT_TRUE(InitWith(plug_, kConfig));
    }
    settled = true;
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(odd.load(), 0);
    EXPECT_GT(shown.load(), 0);
}

}  // namespace
