// The pop-up request when it cannot be built: nothing is shown and the record stays as it was.
#include <gtest/gtest.h>

#include <cstdlib>

#include "bundle/bundle.h"
#include "bundle/memory.h"
#include "engine/popup_request.h"
#include "log/log.h"
#include "rules/rule_model.h"
#include "simhost/framework.h"
#include "simhost/rule_objects.h"
#include "simhost/text.h"
#include "testsupport/counting_memory.h"

namespace {

class PopupRequest : public ::testing::Test {
  protected:
    void SetUp() override {
        tierlock::g_pFrame.Assign(&framework_);
        candidates_.push_back(&rule_);
        event_.record.ProcessId = 100;
        event_.record.PPID = 4;
    }
    void TearDown() override { tierlock::g_pFrame.Reset(); }

    int32_t Request(int32_t index) {
        return tierlock::RequestPopup(sources_, processes_, &event_, event_.record, &target_,
                                      candidates_, index, "text");
    }

    simhost::Framework framework_;
    simhost::RuleEvent event_;
    simhost::RuleTarget target_;
    tierlock::ReportSources sources_;
    const tierlock::ProcessSource processes_{&target_, tierlock::TreeServices{}};
    tierlock::MatchRule rule_;
    tierlock::CandidateRules candidates_;
};

TEST_F(PopupRequest, NoBundleNoPopup) {
    testsupport::Bundles().Reset();
    testsupport::Bundles().objectBudget = 0;
    tierlock::SetBundleMemory(&testsupport::CountingMemory());
    const int32_t verdict = Request(0);
    tierlock::SetBundleMemory(nullptr);
    EXPECT_EQ(verdict, 0);
    EXPECT_EQ(framework_.texts(),
              std::vector<std::u16string>{simhost::LogLine(30, "Tierlock::LastProcessEvent",
                                                           u"Create Bundle instance failed")});
    EXPECT_TRUE(framework_.popups().empty());
    EXPECT_EQ(event_.record.PPID, 4u);
}

TEST_F(PopupRequest, AnIndexOutsideTheCandidatesReportsNothing) {
    EXPECT_EQ(Request(1), 0);
    EXPECT_EQ(Request(-1), 0);
    EXPECT_TRUE(framework_.texts().empty());
    EXPECT_TRUE(event_.attached().empty());
}

}  // namespace
