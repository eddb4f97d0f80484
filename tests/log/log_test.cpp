// The wide formatter and the line writer, driven with a recording framework.
#include <gtest/gtest.h>

#include "log/log.h"
#include "simhost/framework.h"
#include "simhost/text.h"

namespace {

using tierlock::FormatWide;
using tierlock::LogLevel;

TEST(FormatWide, Conversions) {
    EXPECT_EQ(FormatWide(u"%d|%d", -5, 2147483647), u"-5|2147483647");
    EXPECT_EQ(FormatWide(u"%u %x %X", 4294967295u, 0xabcdefu, 0xabcdefu),
              u"4294967295 abcdef ABCDEF");
    EXPECT_EQ(FormatWide(u"%llu", uint64_t{18446744073709551615ull}), u"18446744073709551615");
    EXPECT_EQ(FormatWide(u"0x%X", static_cast<int32_t>(-1)), u"0xFFFFFFFF");
    EXPECT_EQ(FormatWide(u"%d", 4294967295u), u"-1");
    EXPECT_EQ(FormatWide(u"100%% of %s", u"\u4e2d\u6587"), u"100% of \u4e2d\u6587");
    EXPECT_EQ(FormatWide(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
    EXPECT_EQ(FormatWide(u"no conversions"), u"no conversions");
    EXPECT_EQ(FormatWide(u"%d", true), u"1");
    // Names are widened as they are written.
    EXPECT_EQ(FormatWide(u"key : %s  value : %d", "FLVL_TTL", 3), u"key : FLVL_TTL  value : 3");
    EXPECT_EQ(FormatWide(u"[%s]", static_cast<const char*>(nullptr)), u"[]");
    EXPECT_EQ(FormatWide(u"%d", "7"), u"");
}

TEST(FormatWide, UnformattableFormatsGiveEmptyText) {
    EXPECT_EQ(FormatWide(u"%d and %d", 1), u"");  // too few values
    EXPECT_EQ(FormatWide(u"%s", 7), u"");         // integer for a string
    EXPECT_EQ(FormatWide(u"%d", u"text"), u"");   // string for an integer
    EXPECT_EQ(FormatWide(u"%5d", 7), u"");        // width is not part of the subset
    EXPECT_EQ(FormatWide(u"trailing %"), u"");
    EXPECT_EQ(FormatWide(static_cast<const char16_t*>(nullptr)), u"");
}

class LogWriter : public ::testing::Test {
  protected:
    void SetUp() override { tierlock::g_pFrame.Assign(&framework_); }
    void TearDown() override { tierlock::g_pFrame.Reset(); }
    simhost::Framework framework_;
};

// One host line per call: line breaks inside a message travel within it, a text ends at its
// first zero.
TEST_F(LogWriter, LayoutOfEachLevel) {
    const char16_t withZero[] = {u'a', 0, u'b', 0};
    tierlock::Log(LogLevel::Info, "Tierlock::Init", u"Init ok");
    tierlock::Log(LogLevel::Error, "GetTarget", u"code=%d", 3);
    tierlock::Log(LogLevel::Core, "rkProcTreeHelper::FindNode", u"%s", u"");
    tierlock::Log(LogLevel::Info, "T", u"a\r\n b");
    tierlock::Log(LogLevel::Info, "T", u"%s|", withZero);
    tierlock::Log(LogLevel::Info, "T", u"[%s]", std::u16string_view{});  // a view with no data
    const std::vector<std::u16string> expected = {
        u"[tierlock][INFO ][Tierlock::Init] Init ok\n",
        u"[tierlock][ERROR][GetTarget] code=3\n",
        u"[tierlock][CORE ][rkProcTreeHelper::FindNode] \n",
        u"[tierlock][INFO ][T] a\r\n b\n",
        u"[tierlock][INFO ][T] a|\n",
        u"[tierlock][INFO ][T] []\n",
    };
    EXPECT_EQ(framework_.texts(), expected);
    EXPECT_EQ(framework_.lines()[1].level, 35);
}

TEST_F(LogWriter, SilentWithoutFramework) {
    tierlock::g_pFrame.Reset();
    tierlock::Log(LogLevel::Error, "T", u"x");
    EXPECT_EQ(framework_.probes(35), 0u);
    EXPECT_TRUE(framework_.lines().empty());
}

}  // namespace
