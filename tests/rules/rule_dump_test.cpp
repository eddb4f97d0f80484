// The rule dump: each accepted rule with its match mode, written as one INFO line by Init.
#include "config_helpers.h"
#include "plugin_fixture.h"

namespace {

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
