// The pop-up request when it cannot be built: nothing is shown and the record stays as it was.
#include "engine/popup_request.h"
#include "levels/level_fixture.h"

namespace level_test {
namespace {

class PopupRequest : public LevelTest {
  protected:
    int32_t Request(int32_t index) {
        Resolver();
        return tierlock::RequestPopup({}, *processes_, &event_, event_.record, &target_, {&rule_},
                                      index, "text");
    }

    simhost::RuleEvent event_;
    const tierlock::MatchRule rule_;
};

TEST_F(PopupRequest, NoBundleNoPopup) {
    event_.record.PPID = 4;
    g_objectBudget = 0;
    EXPECT_EQ(Request(0), 0);
    g_objectBudget = ~size_t{0};
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
}  // namespace level_test
