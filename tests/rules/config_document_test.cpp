// The configuration document: the model the parser makes of it, and what Init logs about it,
// errors and hostile input included.
#include "config_helpers.h"
#include "plugin_fixture.h"

namespace {

using simhost::LogLine;
using testing::IsSupersetOf;

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
    const auto lines = InitLines("{}");
    EXPECT_THAT(lines, IsSupersetOf({Parse(u"matchmode not found"), kParseOptionFail}));
    EXPECT_FALSE(HasLine(lines, ParseInfo(u"parse rules config")));
    EXPECT_TRUE(
        HasLine(InitLines(R"({"matchmode":{},"rules":[]})"), Parse(u"matchmode not found")));
    EXPECT_THAT(InitLines(R"({"matchmode":[{"modeid":1,"mode":[{"srclvl":"70","popwnd":"x"}]}]})"),
                IsSupersetOf({ParseInfo(u"Insert new modeid=1"), Parse(u"rules not found"),
                              kParseOptionFail}));
}

TEST_F(ConfigDocument, ModesItemsAndRulesThatAreRejected) {
    const std::string config = R"({"matchmode":[
        {"mode":[{"srclvl":"70","popwnd":"x"}]},
        {"modeid":4294967295,"mode":[{"srclvl":"70","popwnd":"x"}]},
        {"modeid":"2","mode":[{"srclvl":"70","popwnd":"x"}]},
        {"modeid":3,"mode":[{"id":8,"srclvl":"70.3","popwnd":""},{"id":9,"popwnd":"x"},
                            {"id":10,"srclvl":"0.0","popwnd":"x"}]},
        {"modeid":5,"mode":{"srclvl":"70","popwnd":"x"}},
        {"modeid":-1,"mode":[{"id":1,"srclvl":"70","popwnd":"x"}]}],
      "rules":[{"id":1,"modeid":3},{"id":2},{"id":3,"modeid":-1}]})";
    const auto lines = InitLines(config);
    EXPECT_EQ(CountLines(lines, ParseInfo(u"modeid not find")), 3u);
    // Modeid 0: a rule without "modeid".
    EXPECT_THAT(lines,
                IsSupersetOf({Parse(u"Invalid Item,id=8"), Parse(u"Invalid Item,id=9"),
                              Parse(u"Invalid Item,id=10"), Parse(u"not found Modeid=3"),
                              Parse(u"not found Modeid=0"), ParseInfo(u"Insert new modeid=-1")}));
    EXPECT_FALSE(HasLine(lines, ParseInfo(u"Insert new modeid=3")));
    EXPECT_FALSE(HasLine(lines, ParseInfo(u"Insert new modeid=5")));

    // Only mode -1 and the rule naming it are kept.
    const ParsedModel model = ParseModel(config);
    EXPECT_EQ(model.ModeIds(), (std::vector<uint32_t>{0xFFFFFFFFu}));
    EXPECT_EQ(model.Items(0xFFFFFFFFu).at(0).src_level, (Ranges{{70, 0, 65535}}));
    ASSERT_EQ(model.rules.size(), 1u);
    EXPECT_EQ(std::pair(model.rules[0].id, model.rules[0].mode_id), std::pair(3u, 0xFFFFFFFFu));
}

TEST_F(ConfigDocument, LaterModeDefinitionReplacesEarlierOne) {
    const std::string config = R"({"matchmode":[
        {"modeid":1,"mode":[{"id":1,"srclvl":"70","popwnd":"first"}]},
        {"modeid":1,"mode":[{"id":3,"dstlvl":"30","popwnd":"c"},{"id":1,"dstlvl":"10","popwnd":"a"},
                            {"id":2,"dstlvl":"20","popwnd":"b"}]}],
      "rules":[{"id":1,"modeid":1}]})";
    EXPECT_EQ(CountLines(InitLines(config), ParseInfo(u"Insert new modeid=1")), 2u);
    // The second list replaces the first, sorted by item id.
    std::vector<std::pair<uint32_t, std::string>> items;
    for (const auto& item : ParseModel(config).Items(1)) {
        items.emplace_back(item.id, item.popwnd);
    }
    EXPECT_EQ(items, (std::vector<std::pair<uint32_t, std::string>>{{1, "a"}, {2, "b"}, {3, "c"}}));
}

TEST(ConfigModel, KeysAreExactAndTheFirstOfTwoCounts) {
    const ParsedModel model = ParseModel(R"({"matchmode":[{"modeid":1,"mode":[
        {"id":1,"SrcLvl":"50","srclvl":"70","srclvl":"80","popwnd":"x"}]}],
      "rules":[{"id":1,"modeid":1,"modeid":2}]})");
    EXPECT_EQ(model.Items(1).at(0).src_level, (Ranges{{70, 0, 65535}}));
    ASSERT_EQ(model.rules.size(), 1u);
    EXPECT_EQ(model.rules[0].mode_id, 1u);
}

TEST(ConfigModel, RulesAndItemsAreSortedByUnsignedId) {
    const ParsedModel model = ParseModel(R"({"matchmode":[{"modeid":1,"mode":[
        {"id":3,"srclvl":"3","popwnd":"x"},{"id":1,"srclvl":"1","popwnd":"x"},
        {"id":-1,"srclvl":"9","popwnd":"x"},{"id":2,"srclvl":"2","popwnd":"x"}]}],
        "rules":[{"id":9,"modeid":1},{"id":-1,"modeid":1},{"id":4,"modeid":1}]})");
    std::vector<uint32_t> ruleIds, itemIds;
    for (const auto& rule : model.rules) {
        ruleIds.push_back(rule.id);
    }
    for (const auto& item : model.Items(1)) {
        itemIds.push_back(item.id);
    }
    EXPECT_EQ(ruleIds, (std::vector<uint32_t>{4, 9, 4294967295u}));
    EXPECT_EQ(itemIds, (std::vector<uint32_t>{1, 2, 3, 4294967295u}));
}

TEST_F(ConfigDocument, ElementsThatAreNotObjectsAreSkipped) {
    const std::string config = R"({"matchmode":[1,"x",null,[],
        {"modeid":1,"mode":[7,{"id":1,"srclvl":"70","popwnd":"x"}]}],
      "rules":[true,{"id":1,"modeid":1}]})";
    EXPECT_THAT(InitLines(config),
                IsSupersetOf({Parse(u"matchmode element 0 is not an object, skipped"),
                              Parse(u"matchmode element 3 is not an object, skipped"),
                              Parse(u"mode item 0 of modeid=1 is not an object, skipped"),
                              Parse(u"rules element 0 is not an object, skipped")}));
    const ParsedModel model = ParseModel(config);
    EXPECT_EQ(std::tuple(model.ModeIds(), model.Items(1).size(), model.rules.size()),
              std::tuple(std::vector<uint32_t>{1}, size_t{1}, size_t{1}));
    for (const char* root : {"[]", "7", "\"text\"", "null"}) {
        EXPECT_THAT(InitLines(root), IsSupersetOf({Parse(u"json parse Fail"), kParseOptionFail}))
            << root;
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

    for (const std::string& text :
         {std::string(100000, '[') + std::string(100000, ']'), std::string(100000, '['),
          std::string("{\"matchmode\":[],\"rules\":[]} trailing")}) {
        EXPECT_TRUE(HasLine(InitLines(text), Parse(u"json parse Fail")));
    }
    // Brackets inside a string, after an escaped quote too, are text and not nesting.
    const std::string text = "\"\\\"" + std::string(200, '[') + "\"";
    EXPECT_FALSE(HasLine(InitLines("{\"matchmode\":[],\"rules\":[],\"x\":" + text + "}"),
                         Parse(u"json parse Fail")));
    // Text after a zero byte is not part of the document.
    EXPECT_FALSE(HasLine(InitLines(std::string("{\"matchmode\":[],\"rules\":[]}\0{", 29)),
                         kParseOptionFail));
    EXPECT_TRUE(HasLine(InitLines("{\"matchmode\":[],\"rules\":[],\"x\":\"\xff\xfe\"}"),
                        LogLine(30, "Tierlock::Init",
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

}  // namespace
