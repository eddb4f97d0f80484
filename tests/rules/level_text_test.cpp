// Level lists and rule id lists, read through Init and checked in the rule dump the host logs.
#include "config_helpers.h"
#include "plugin_fixture.h"

namespace {

using simhost::LogLine;

struct LevelCase {
    const char* text;
    const char16_t* dump;  // null: the item has no ranges and is rejected
};

TEST_F(PluginTest, LevelTextsBecomeRanges) {
    const LevelCase cases[] = {
        {"70.3", u"|70.3-3| "},
        {"70", u"|70.0-65535| "},
        {"70.0", u"|70.0-65535| "},
        {"10.0,70.3", u"|10.0-65535| |70.3-3| "},
        {"0.3", u"|0.3-3| "},
        {"70.3.9", u"|70.3-3| "},
        {"70..3", u"|70.3-3| "},
        {".5", u"|5.0-65535| "},
        {"70.3-5", u"|70.3-3| "},
        {",,70,,", u"|70.0-65535| "},
        {"70.65535", u"|70.65535-65535| "},
        {"70.70000,80", u"|80.0-65535| "},
        {"70.99999999999", u"|70.-1--1| "},
        {" +70. 4", u"|70.4-4| "},
        {"70.3,0.0,80", nullptr},
        {"0", nullptr},
        {"70,.", nullptr},
        {"70.70000", nullptr},
    };
    for (const LevelCase& c : cases) {
        IRkRulePlug* plug = NewPlug();
        ASSERT_TRUE(InitWith(plug, OneItemConfig("srclvl", c.text)));
        const auto lines = framework_.texts();
        if (c.dump) {
            EXPECT_EQ(DumpField(lines, u" [tierlock] src_level:"), c.dump) << c.text;
        } else {
            EXPECT_TRUE(HasLine(lines, LogLine(35, "Tierlock::ParseOption", u"Invalid Item,id=1")))
                << c.text;
            EXPECT_TRUE(HasLine(lines, LogLine(35, "Tierlock::ParseOption", u"not found Modeid=1")))
                << c.text;
        }
        ReleasePlug(plug);
        framework_.ClearLog();
    }
}

TEST_F(PluginTest, ZeroLevelEndsTheListAndSubLevelLimitIsLogged) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(InitWith(plug, OneItemConfig("dstlvl", "70.3,0.0,80.70000")));
    const auto lines = framework_.texts();
    EXPECT_EQ(CountLines(lines, LogLine(30, "Tierlock::SplitString2Levels", u"config 0.0")), 1u);
    // Nothing after 0.0 is read, so the out-of-range entry is never reported.
    EXPECT_EQ(
        CountLines(lines, LogLine(30, "Tierlock::SplitString2Levels", u"sub_level_low>65535")), 0u);

    IRkRulePlug* other = NewPlug();
    framework_.ClearLog();
    ASSERT_TRUE(InitWith(other, OneItemConfig("plvl", "70.70000,80")));
    EXPECT_EQ(CountLines(framework_.texts(),
                         LogLine(30, "Tierlock::SplitString2Levels", u"sub_level_low>65535")),
              1u);
    EXPECT_EQ(DumpField(framework_.texts(), u" [tierlock] parent_process_level:"),
              u"|80.0-65535| ");
}

TEST_F(PluginTest, RuleIdTextsBecomeSortedSets) {
    const std::pair<const char*, const char16_t*> cases[] = {
        {R"(,"ruleid":"5,5,3")", u"|3| |5| "},
        {R"(,"ruleid":"12,,34")", u"|12| |34| "},
        {R"(,"ruleid":"abc")", u"|0| "},
        {R"(,"ruleid":12)", u""},
        {R"(,"ruleid":" 7x,-1,99999999999")", u"|7| |-1| "},
        {"", u""},
    };
    for (const auto& [extra, dump] : cases) {
        IRkRulePlug* plug = NewPlug();
        ASSERT_TRUE(InitWith(plug, OneItemConfig("srclvl", "70", extra)));
        const auto lines = framework_.texts();
        const auto heading = DumpField(lines, u" [tierlock] ruleid:");
        EXPECT_EQ(heading.substr(0, heading.find(u"\r")), dump) << extra;
        ReleasePlug(plug);
        framework_.ClearLog();
    }
}

}  // namespace
