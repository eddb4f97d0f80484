// The model the parser builds, inspected directly: ordering and replacement per mode id.
#include <gtest/gtest.h>

#include "rules/rules.h"

namespace {

using tierlock::LevelRange;

TEST(RuleModel, RulesAndItemsAreSortedByUnsignedId) {
    tierlock::MatchRules rules;
    tierlock::MatchNodes nodes;
    tierlock::ParsedOptions options;
    ASSERT_TRUE(tierlock::ParseOption(R"({"matchmode":[{"modeid":1,"mode":[
        {"id":3,"srclvl":"3","popwnd":"x"},{"id":1,"srclvl":"1","popwnd":"x"},
        {"id":-1,"srclvl":"9","popwnd":"x"},{"id":2,"srclvl":"2","popwnd":"x"}]}],
        "rules":[{"id":9,"modeid":1},{"id":-1,"modeid":1},{"id":4,"modeid":1}]})",
                                      rules, nodes, options));
    std::vector<uint32_t> ruleIds, itemIds;
    for (const auto& rule : rules) {
        ruleIds.push_back(rule.id);
    }
    for (const auto& item : nodes.at(1)) {
        itemIds.push_back(item.id);
    }
    EXPECT_EQ(ruleIds, (std::vector<uint32_t>{4, 9, 4294967295u}));
    EXPECT_EQ(itemIds, (std::vector<uint32_t>{1, 2, 3, 4294967295u}));
    EXPECT_FALSE(options.enable.has_value());
}

TEST(RuleModel, RangesFitAsDocumented) {
    const LevelRange anyLevelSub3{0, 3, 3};
    EXPECT_TRUE(anyLevelSub3.Fits(70, 3));
    EXPECT_TRUE(anyLevelSub3.Fits(10, 3));
    EXPECT_FALSE(anyLevelSub3.Fits(70, 4));
    const LevelRange level70{70, 0, 65535};
    EXPECT_TRUE(level70.Fits(70, 0));
    EXPECT_TRUE(level70.Fits(70, 65535));
    EXPECT_FALSE(level70.Fits(10, 1));
    EXPECT_TRUE(tierlock::ListFits({}, 1, 1));
    EXPECT_TRUE(tierlock::ListFits({{10, 0, 65535}, {70, 3, 3}}, 70, 3));
}

}  // namespace
