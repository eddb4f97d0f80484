// LastProcessEvent through the shipped library against the simulated host: one event from the
// guards to the verdict, with the request the host receives.
#include <deque>

#include "abi/report_records.h"
#include "plugin_fixture.h"
#include "simhost/proc_tree.h"
#include "simhost/rule_objects.h"
#include "simhost/services.h"
#include "simhost/text.h"

namespace {

constexpr char kConfig[] = R"({"enable":1,
  "matchmode":[{"modeid":1,"mode":[{"id":1,"srclvl":"70.3","popwnd":"untrusted"}]}],
  "rules":[{"id":1,"eventtype":1,"reporttype":0,"ruleid":"101","modeid":1}]})";

class LastProcessEvent : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        framework_.Serve(IID_IRKProcTreeV3Ctrl, tree_.ctrl());
        framework_.Serve(IID_IRKProcessTreeHelperCtrl, tree_.helper());
        plug_ = NewPlug();
        ASSERT_TRUE(InitWith(plug_, kConfig));
        plug_->SetEnable(16, true);

        const simhost::NodeId parent = tree_.AddProcess({4, u"C:\\Windows\\explorer.exe", 0, 0});
        tree_.AddProcess({100, u"C:\\Temp\\a.exe", 0, 0}, parent);
        record_.Class = 1;
        record_.syncMode = 2;
        record_.uRuleId = 101;
        record_.GroupId = 7;
        record_.ProcessId = 100;
        record_.PPID = 4;
        record_.ProcessPath = u"C:\\Temp\\a.exe";
        target_.srcLevel = 70;
        target_.srcSubLevel = 3;
        items_.push_back({1, 100, 0, 0, {0, 0}, nullptr});
        target_.items[1] = &items_.back();
    }
    void TearDown() override {
        ReleasePlug(plug_);
        EXPECT_EQ(tree_.heldRoots(), 0u);
        EXPECT_EQ(tree_.releaseUnderflows(), 0u);
        PluginTest::TearDown();
    }

    int32_t Run() { return plug_->LastProcessEvent(&event_, &engine_); }

    IRkRulePlug* plug_ = nullptr;
    simhost::ProcessTree tree_;
    simhost::RuleEvent event_;
    tierlock::RkEventRecord& record_ = event_.record;
    simhost::RuleTarget target_;
    simhost::RuleEngine engine_{&target_};
    std::deque<tierlock::RkItemRecord> items_;
};

TEST_F(LastProcessEvent, TheUsersAnswerBecomesTheVerdict) {
    for (const auto& [answer, verdict] : {std::pair{2, 1}, {0, 2}, {1, 2}, {3, 2}}) {
        framework_.SetPopWndAnswer(true, answer);
        EXPECT_EQ(Run(), verdict) << "answer " << answer;
    }
    EXPECT_EQ(framework_.popups().size(), 4u);
    ASSERT_EQ(event_.attached().size(), 4u);
    EXPECT_EQ(event_.attached()[0].kind, 2);
}

}  // namespace
