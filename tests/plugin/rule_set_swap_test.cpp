// Init swaps in a whole new rule set: an event holding the old one keeps a complete value,
// and a second Init keeps the match modes it does not configure again.
#include <gtest/gtest.h>

#include <string>

#include "log/log.h"
#include "plugin/tierlock.h"
#include "simhost/framework.h"

namespace {

TEST(RuleSetSwap, SecondInitReplacesRulesAndKeepsOtherModes) {
    simhost::Framework framework;
    {
        tierlock::Tierlock plug;
        EXPECT_TRUE(plug.ruleSet()->rules().empty());
        const std::string first =
            R"({"matchmode":[{"modeid":1,"mode":[{"id":1,"srclvl":"70","popwnd":"a"}]}],
                "rules":[{"id":1,"eventtype":3,"ruleid":"5","modeid":1}]})";
        ASSERT_TRUE(plug.Init(&framework, first.data(), static_cast<int32_t>(first.size())));
        const auto held = plug.ruleSet();  // as an event in flight holds it
        plug.UnInit();
        const std::string second =
            R"({"matchmode":[{"modeid":2,"mode":[{"id":1,"srclvl":"10","popwnd":"b"}]}],
                "rules":[{"id":7,"eventtype":3,"ruleid":"5","modeid":2}]})";
        ASSERT_TRUE(plug.Init(&framework, second.data(), static_cast<int32_t>(second.size())));
        const auto now = plug.ruleSet();
        ASSERT_EQ(now->rules().size(), 1u);
        EXPECT_EQ(now->rules()[0].id, 7u);
        EXPECT_EQ(now->matchNodes().count(1), 1u);
        EXPECT_EQ(now->matchNodes().count(2), 1u);
        EXPECT_EQ(now->CandidatePositions(3, 5).size(), 1u);
        ASSERT_EQ(held->rules().size(), 1u);
        EXPECT_EQ(held->rules()[0].id, 1u);
        EXPECT_EQ(held->matchNodes().count(2), 0u);

        // No configuration: no rules, the modes stay.
        plug.UnInit();
        ASSERT_TRUE(plug.Init(&framework, nullptr, 0));
        EXPECT_TRUE(plug.ruleSet()->rules().empty());
        EXPECT_EQ(plug.ruleSet()->matchNodes().size(), 2u);
    }
    tierlock::g_pFrame.Assign(nullptr);
}

}  // namespace
