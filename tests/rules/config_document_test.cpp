// The configuration document as the host hands it to Init: structure, errors and hostile input.
#include "config_helpers.h"
#include "plugin_fixture.h"

namespace {

using simhost::LogLine;

std::u16string Parse(const char16_t* message) {
    return LogLine(35, "Tierlock::ParseOption", message);
}
std::u16string ParseInfo(const char16_t* message) {
    return LogLine(30, "Tierlock::ParseOption", message);
}
const std::u16string kParseOptionFail = LogLine(35, "Tierlock::Init", u"ParseOption Fail");

class ConfigDocument : public PluginTest {
  protected:
    std::vector<std::u16string> InitLines(const std::string& config) {
        IRkRulePlug* plug = NewPlug();
        EXPECT_TRUE(InitWith(plug, config));
        auto lines = framework_.texts();
        ReleasePlug(plug);
        framework_.ClearLog();
        return lines;
    }
};

TEST_F(ConfigDocument, EnableTakesOnlyJsonIntegers) {
    const std::string rest = R"("matchmode":[],"rules":[]})";
    EXPECT_TRUE(HasLine(InitLines(R"({"enable":1,)" + rest), ParseInfo(u"enable=1")));
    EXPECT_TRUE(HasLine(InitLines(R"({"enable":-7,)" + rest), ParseInfo(u"enable=1")));
    EXPECT_TRUE(HasLine(InitLines(R"({"enable":0,)" + rest), ParseInfo(u"enable=0")));
    for (const char* value : {"true", "\"1\"", "1.0", "4294967296"}) {
        const auto lines = InitLines(std::string(R"({"enable":)") + value + "," + rest);
        EXPECT_FALSE(HasLine(lines, ParseInfo(u"enable=1"))) << value;
        EXPECT_FALSE(HasLine(lines, ParseInfo(u"enable=0"))) << value;
    }
}

TEST_F(ConfigDocument, RequiredArraysAndTheirFailures) {
    auto lines = InitLines("{}");
    EXPECT_TRUE(HasLine(lines, Parse(u"matchmode not found")));
    EXPECT_TRUE(HasLine(lines, kParseOptionFail));
    EXPECT_FALSE(HasLine(lines, ParseInfo(u"parse rules config")));

    lines = InitLines(R"({"matchmode":{},"rules":[]})");
    EXPECT_TRUE(HasLine(lines, Parse(u"matchmode not found")));

    lines = InitLines(R"({"matchmode":[{"modeid":1,"mode":[{"srclvl":"70","popwnd":"x"}]}]})");
    EXPECT_TRUE(HasLine(lines, ParseInfo(u"Insert new modeid=1")));
    EXPECT_TRUE(HasLine(lines, Parse(u"rules not found")));
    EXPECT_TRUE(HasLine(lines, kParseOptionFail));

    lines = InitLines(R"({"matchmode":[],"rules":[]})");
    EXPECT_FALSE(HasLine(lines, kParseOptionFail));
    EXPECT_TRUE(HasLine(lines, LogLine(30, "Tierlock::Init", u"Init ok")));
}

TEST_F(ConfigDocument, ModesItemsAndRulesThatAreRejected) {
    const auto lines = InitLines(R"({"matchmode":[
        {"mode":[{"srclvl":"70","popwnd":"x"}]},
        {"modeid":4294967295,"mode":[{"srclvl":"70","popwnd":"x"}]},
        {"modeid":"2","mode":[{"srclvl":"70","popwnd":"x"}]},
        {"modeid":3,"mode":[{"id":8,"srclvl":"70.3","popwnd":""},{"id":9,"popwnd":"x"},
                            {"id":10,"srclvl":"0.0","popwnd":"x"}]},
        {"modeid":5,"mode":{"srclvl":"70","popwnd":"x"}},
        {"modeid":-1,"mode":[{"id":1,"srclvl":"70","popwnd":"x"}]}],
      "rules":[{"id":1,"modeid":3},{"id":2},{"id":3,"modeid":-1}]})");
    EXPECT_EQ(CountLines(lines, ParseInfo(u"modeid not find")), 3u);
    EXPECT_TRUE(HasLine(lines, Parse(u"Invalid Item,id=8")));
    EXPECT_TRUE(HasLine(lines, Parse(u"Invalid Item,id=9")));
    EXPECT_TRUE(HasLine(lines, Parse(u"Invalid Item,id=10")));
    EXPECT_FALSE(HasLine(lines, ParseInfo(u"Insert new modeid=3")));
    EXPECT_FALSE(HasLine(lines, ParseInfo(u"Insert new modeid=5")));
    EXPECT_TRUE(HasLine(lines, Parse(u"not found Modeid=3")));
    EXPECT_TRUE(HasLine(lines, Parse(u"not found Modeid=0")));  // a rule without "modeid"
    EXPECT_TRUE(HasLine(lines, ParseInfo(u"Insert new modeid=-1")));
    EXPECT_EQ(DumpField(lines, u" [tierlock] src_level:"), u"|70.0-65535| ");
}

TEST_F(ConfigDocument, LaterModeDefinitionReplacesEarlierOne) {
    const auto lines = InitLines(R"({"matchmode":[
        {"modeid":1,"mode":[{"id":1,"srclvl":"70","popwnd":"first"}]},
        {"modeid":1,"mode":[{"id":3,"dstlvl":"30","popwnd":"c"},{"id":1,"dstlvl":"10","popwnd":"a"},
                            {"id":2,"dstlvl":"20","popwnd":"b"}]}],
      "rules":[{"id":1,"modeid":1}]})");
    EXPECT_EQ(CountLines(lines, ParseInfo(u"Insert new modeid=1")), 2u);
    const std::u16string dump = *std::find_if(lines.begin(), lines.end(), [](const auto& line) {
        return line.find(u"PRINTF_MACTCH_RULE") != std::u16string::npos;
    });
    ASSERT_NE(dump.find(u"MatchmodeSize=3"), std::u16string::npos) << simhost::ToUtf8(dump);
    EXPECT_EQ(dump.find(u"popwnd=first"), std::u16string::npos);
    const size_t a = dump.find(u"popwnd=a"), b = dump.find(u"popwnd=b"), c = dump.find(u"popwnd=c");
    EXPECT_TRUE(a < b && b < c);
}

TEST_F(ConfigDocument, DumpIsExactAndVerbatim) {
    const auto lines = InitLines(R"({"matchmode":[{"modeid":7,"mode":[
        {"id":4,"srclvl":"70.3","dstlvl":"10","plvl":"0.2","chainlvl":"80,90.1","popwnd":"100%s"}]}],
      "rules":[{"id":2,"eventtype":3,"reporttype":1,"ruleid":"9,8","modeid":7}]})");
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
    EXPECT_TRUE(HasLine(lines, expected));
}

TEST_F(ConfigDocument, KeysAreExactAndTheFirstOfTwoCounts) {
    const auto lines = InitLines(R"({"matchmode":[{"modeid":1,"mode":[
        {"id":1,"SrcLvl":"50","srclvl":"70","srclvl":"80","popwnd":"x"}]}],
      "rules":[{"id":1,"modeid":1,"modeid":2}]})");
    EXPECT_EQ(DumpField(lines, u" [tierlock] src_level:"), u"|70.0-65535| ");
}

TEST_F(ConfigDocument, ElementsThatAreNotObjectsAreSkipped) {
    auto lines = InitLines(R"({"matchmode":[1,"x",null,[],
        {"modeid":1,"mode":[7,{"id":1,"srclvl":"70","popwnd":"x"}]}],
      "rules":[true,{"id":1,"modeid":1}]})");
    EXPECT_TRUE(HasLine(lines, Parse(u"matchmode element 0 is not an object, skipped")));
    EXPECT_TRUE(HasLine(lines, Parse(u"matchmode element 3 is not an object, skipped")));
    EXPECT_TRUE(HasLine(lines, Parse(u"mode item 0 of modeid=1 is not an object, skipped")));
    EXPECT_TRUE(HasLine(lines, Parse(u"rules element 0 is not an object, skipped")));
    EXPECT_EQ(DumpField(lines, u" [tierlock] src_level:"), u"|70.0-65535| ");

    for (const char* root : {"[]", "7", "\"text\"", "null"}) {
        lines = InitLines(root);
        EXPECT_TRUE(HasLine(lines, Parse(u"json parse Fail"))) << root;
        EXPECT_TRUE(HasLine(lines, kParseOptionFail)) << root;
    }
}

TEST_F(ConfigDocument, HostileTexts) {
    // Exactly configLength bytes are read: the rest of the buffer is never looked at.
    const std::string buffer = R"({"matchmode":[],"rules":[]}GARBAGE)";
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(plug->Init(&framework_, buffer.data(), 27));
    EXPECT_FALSE(HasLine(framework_.texts(), kParseOptionFail));
    ReleasePlug(plug);
    framework_.ClearLog();

    auto lines = InitLines(std::string(100000, '[') + std::string(100000, ']'));
    EXPECT_TRUE(HasLine(lines, Parse(u"json parse Fail")));
    lines = InitLines(std::string(100000, '['));
    EXPECT_TRUE(HasLine(lines, Parse(u"json parse Fail")));

    lines = InitLines("{\"matchmode\":[],\"rules\":[]} trailing");
    EXPECT_TRUE(HasLine(lines, Parse(u"json parse Fail")));

    // Text after a zero byte is not part of the document.
    lines = InitLines(std::string("{\"matchmode\":[],\"rules\":[]}\0{", 29));
    EXPECT_FALSE(HasLine(lines, kParseOptionFail));

    lines = InitLines("{\"matchmode\":[],\"rules\":[],\"x\":\"\xff\xfe\"}");
    EXPECT_TRUE(
        HasLine(lines, LogLine(30, "Tierlock::Init",
                               u"config;{\"matchmode\":[],\"rules\":[],\"x\":\"\uFFFD\uFFFD\"}")));
}

TEST_F(ConfigDocument, EmptyConfigurationWritesNoConfigLine) {
    for (int32_t length : {0, -5}) {
        IRkRulePlug* plug = NewPlug();
        ASSERT_TRUE(plug->Init(&framework_, "{}", length));
        for (const auto& line : framework_.texts()) {
            EXPECT_EQ(line.find(u"config;"), std::u16string::npos);
            EXPECT_EQ(line.find(u"ParseOption"), std::u16string::npos);
        }
        ReleasePlug(plug);
        framework_.ClearLog();
    }
    IRkRulePlug* plug = NewPlug();
    EXPECT_TRUE(plug->Init(&framework_, nullptr, 10));  // a length without text
    EXPECT_TRUE(HasLine(framework_.texts(), LogLine(30, "Tierlock::Init", u"Init ok")));
}

TEST_F(ConfigDocument, ReinitKeepsModesAndReplacesRules) {
    IRkRulePlug* plug = NewPlug();
    ASSERT_TRUE(
        InitWith(plug, R"({"matchmode":[{"modeid":1,"mode":[{"srclvl":"70","popwnd":"m1"}]}],
                                   "rules":[{"id":1,"modeid":1}]})"));
    plug->UnInit();
    framework_.ClearLog();
    ASSERT_TRUE(
        InitWith(plug, R"({"matchmode":[{"modeid":2,"mode":[{"srclvl":"20","popwnd":"m2"}]}],
                                   "rules":[{"id":5,"modeid":1},{"id":6,"modeid":2}]})"));
    const auto lines = framework_.texts();
    // Mode 1 survives from the first configuration, so the rule naming it is accepted.
    EXPECT_FALSE(HasLine(lines, Parse(u"not found Modeid=1")));
    size_t dumps = 0;
    for (const auto& line : lines) {
        if (line.find(u"PRINTF_MACTCH_RULE") != std::u16string::npos) {
            ++dumps;
            EXPECT_NE(line.find(line.find(u"id=5 ") != std::u16string::npos ? u"popwnd=m1"
                                                                            : u"popwnd=m2"),
                      std::u16string::npos);
        }
    }
    EXPECT_EQ(dumps, 2u);
}

}  // namespace
