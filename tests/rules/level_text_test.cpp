// Level lists and rule id lists as the parser reads them into the model, and the rule dump
// Init writes of each accepted rule with its match mode, as one INFO line.
#include "config_helpers.h"
#include "plugin_fixture.h"

namespace {

using simhost::LogLine;

TEST(LevelText, TextsBecomeRanges) {
    const struct {
        const char* text;
        Ranges ranges;  // empty: the item has no ranges and is rejected with its mode and rule
    } cases[] = {
        {"70.3", {{70, 3, 3}}},
        {"70", {{70, 0, 65535}}},
        {"70.0", {{70, 0, 65535}}},
        {"10.0,70.3", {{10, 0, 65535}, {70, 3, 3}}},
        {"0.3", {{0, 3, 3}}},
        {"70.3.9", {{70, 3, 3}}},
        {"70..3", {{70, 3, 3}}},
        {".5", {{5, 0, 65535}}},
        {"70.3-5", {{70, 3, 3}}},
        {",,70,,", {{70, 0, 65535}}},
        {"70.65535", {{70, 65535, 65535}}},
        {"70.70000,80", {{80, 0, 65535}}},
        {"70.99999999999", {{70, -1, -1}}},
        {" +70. 4", {{70, 4, 4}}},
        {"70.3,0.0,80", {}},
        {"0", {}},
        {"70,.", {}},
        {"70.70000", {}},
    };
    for (const auto& c : cases) {
        const ParsedModel model = ParseModel(OneItemConfig("srclvl", c.text));
        ASSERT_TRUE(model.ok) << c.text;
        const auto items = model.Items(1);
        const size_t kept = c.ranges.empty() ? 0 : 1;
        EXPECT_EQ(std::tuple(model.nodes.size(), items.size(), model.rules.size(),
                             items.empty() ? Ranges{} : items[0].src_level),
                  std::tuple(kept, kept, kept, c.ranges))
            << c.text;
    }
}

TEST(LevelText, RuleIdTextsBecomeSortedSets) {
    const std::pair<const char*, std::set<uint32_t>> cases[] = {
        {R"(,"ruleid":"5,5,3")", {3, 5}},
        {R"(,"ruleid":"12,,34")", {12, 34}},
        {R"(,"ruleid":"abc")", {0}},
        {R"(,"ruleid":12)", {}},
        {R"(,"ruleid":" 7x,-1,99999999999")", {7, 0xFFFFFFFFu}},
        {"", {}},
    };
    for (const auto& [extra, ids] : cases) {
        const ParsedModel model = ParseModel(OneItemConfig("srclvl", "70", extra));
        ASSERT_EQ(model.rules.size(), 1u) << extra;
        EXPECT_EQ(model.rules[0].ruleid, ids) << extra;
    }
}

TEST(LevelText, RangesFitTheirLevelAndBothSubLevelBounds) {
    const tierlock::LevelRange anyLevelSub3{0, 3, 3}, level70{70, 0, 65535};
    EXPECT_EQ((std::vector{anyLevelSub3.Fits(10, 3), anyLevelSub3.Fits(70, 4), level70.Fits(70, 0),
                           level70.Fits(70, 65535), level70.Fits(10, 1)}),
              (std::vector{true, false, true, true, false}));
    EXPECT_TRUE(tierlock::ListFits({}, 1, 1));
    EXPECT_TRUE(tierlock::ListFits({{10, 0, 65535}, {70, 3, 3}}, 70, 3));
}

// 0.0 ends a list; an out-of-range sub-level drops only its own entry, and says so.
TEST_F(PluginTest, ZeroLevelEndsTheListAndSubLevelLimitIsLogged) {
    const std::string endsAtZero = OneItemConfig("dstlvl", "70.3,0.0,80.70000");
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, endsAtZero));
    const auto lines = framework_.texts();
    EXPECT_EQ(CountLines(lines, LogLine(30, "Tierlock::SplitString2Levels", u"config 0.0")), 1u);
    // Nothing after 0.0 is read, so the out-of-range entry is never reported.
    EXPECT_EQ(
        CountLines(lines, LogLine(30, "Tierlock::SplitString2Levels", u"sub_level_low>65535")), 0u);
    EXPECT_TRUE(ParseModel(endsAtZero).nodes.empty());

    const std::string outOfRange = OneItemConfig("plvl", "70.70000,80");
    IRkRulePlug* other = NewPlug();
    framework_.ClearLog();
    ASSERT_TRUE(InitWith(other, outOfRange));
    EXPECT_EQ(CountLines(framework_.texts(),
                         LogLine(30, "Tierlock::SplitString2Levels", u"sub_level_low>65535")),
              1u);
    EXPECT_EQ(ParseModel(outOfRange).Items(1).at(0).parent_process_level, (Ranges{{80, 0, 65535}}));
}

TEST_F(PluginTest, RuleDumpIsExactAndVerbatim) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, R"({"matchmode":[{"modeid":7,"mode":[
        {"id":4,"srclvl":"70.3","dstlvl":"10","plvl":"0.2","chainlvl":"80,90.1","popwnd":"100%s"}]}],
      "rules":[{"id":2,"eventtype":3,"reporttype":1,"ruleid":"9,8","modeid":7}]})"));
    const std::u16string expected =
        u"[tierlock][INFO ][Tierlock::PRINTF_MACTCH_RULE] id=2 type=3 mode_id=7 report_type=1 "
        u"\r\n [tierlock] ruleid:|8| |9| "
        u"\r\n [tierlock]  MatchmodeSize=1"
        u"\r\n [tierlock]====== modeIndex=4   ======>"
        u"\r\n [tierlock] popwnd=100%s"
        u"\r\n [tierlock] src_level:|70.3-3| "
        u"\r\n [tierlock] dst_level:|10.0-65535| "
        u"\r\n [tierlock] parent_process_level:|0.2-2| "
        u"\r\n [tierlock] process_chain_level:|80.0-65535| |90.1-1| "
        u"\r\n [tierlock]<====== modeIndex=4   ======"
        u"\r\n\n";
    EXPECT_TRUE(HasLine(framework_.texts(), expected));
}

// Numbers are written signed, whatever the model holds; an absent list leaves its heading empty.
TEST_F(PluginTest, RuleDumpWritesNumbersSigned) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, R"({"matchmode":[{"modeid":-2,"mode":[
        {"id":-3,"srclvl":"70.99999999999","popwnd":"x"}]}],
      "rules":[{"id":-4,"eventtype":-5,"ruleid":"-1,7","modeid":-2}]})"));
    const std::u16string expected =
        u"[tierlock][INFO ][Tierlock::PRINTF_MACTCH_RULE] id=-4 type=-5 mode_id=-2 report_type=0 "
        u"\r\n [tierlock] ruleid:|7| |-1| "
        u"\r\n [tierlock]  MatchmodeSize=1"
        u"\r\n [tierlock]====== modeIndex=-3   ======>"
        u"\r\n [tierlock] popwnd=x"
        u"\r\n [tierlock] src_level:|70.-1--1| "
        u"\r\n [tierlock] dst_level:"
        u"\r\n [tierlock] parent_process_level:"
        u"\r\n [tierlock] process_chain_level:"
        u"\r\n [tierlock]<====== modeIndex=-3   ======"
        u"\r\n\n";
    EXPECT_TRUE(HasLine(framework_.texts(), expected));
}

}  // namespace
