// Source and destination levels: the pair the target carries, lifted to 10 by user trust.
#include "level_fixture.h"

namespace level_test {
namespace {

using simhost::LogLine;
using simhost::TrustVerdict;

struct FileSide {
    const char* tag;
    bool source;
};
constexpr FileSide kSides[] = {{"Tierlock::GetSrcLevel", true}, {"Tierlock::GetDstLevel", false}};

class FileLevels : public LevelTest {
  protected:
    // Places the file on the target's side, then resolves that side's pair.
    std::pair<int32_t, int32_t> Resolve(const FileSide& side, const std::u16string& path,
                                        int32_t placedLevel, int32_t placedSubLevel) {
        (side.source ? target_.srcPath : target_.dstPath) = path;
        (side.source ? target_.srcLevel : target_.dstLevel) = placedLevel;
        (side.source ? target_.srcSubLevel : target_.dstSubLevel) = placedSubLevel;
        int32_t level = -1, subLevel = -1;
        const auto resolver = Resolver();
        EXPECT_TRUE(side.source ? resolver.GetSrcLevel(&target_, &level, &subLevel)
                                : resolver.GetDstLevel(&target_, &level, &subLevel));
        return {level, subLevel};
    }
};

TEST_F(FileLevels, UserTrustLiftsTheLevelOnly) {
    struct Case {
        TrustVerdict verdict;
        int32_t level, lineLevel;
        const char16_t* last;  // line
    };
    // A signature bit, or a bit of neither mask, is not user trust.
    const Case cases[] = {
        {{true, 0, 0x1}, 10, 30, u"文件命中了用户信任，修正等级为10，path=D:\\a.exe "},
        {{true, 1, 0x8}, 70, 30, u"IsCanSkipReport成功，path=D:\\a.exe MatchType=8"},
        {{true, 1, 0x20}, 70, 30, u"IsCanSkipReport成功，path=D:\\a.exe MatchType=32"},
        {{false, 1, 0x17}, 70, 35, u"isSkipReport 失败，path=D:\\a.exe"}};
    for (const FileSide& side : kSides) {
        for (const Case& c : cases) {
            v2_.Answer(u"D:\\a.exe", c.verdict);
            EXPECT_EQ(Resolve(side, u"D:\\a.exe", 70, 3), std::make_pair(c.level, 3)) << side.tag;
            EXPECT_EQ(Lines(side.tag).back(), LogLine(c.lineLevel, side.tag, c.last));
            EXPECT_EQ(v2_.calls().back().parameters.at("match_type").second, 0x17u);
        }
    }
}

TEST_F(FileLevels, NoQueryWhereNoneIsNeededOrPossible) {
    for (const FileSide& side : kSides) {
        SCOPED_TRACE(side.tag);
        const size_t queries = v2_.calls().size();
        framework_.ClearLog();
        // Level 10 is returned as read, with the path as read.
        EXPECT_EQ(Resolve(side, u"C:\\x\\ten.exe", 10, 2), std::make_pair(10, 2));
        // An empty path.
        EXPECT_EQ(Resolve(side, u"", 70, 1), std::make_pair(70, 1));
        // No service at all: one ERROR line.
        services_.trust = {};
        EXPECT_EQ(Resolve(side, u"C:\\x\\a.exe", 50, 4), std::make_pair(50, 4));
        services_.trust = {&v2_, nullptr, false};

        EXPECT_EQ(v2_.calls().size(), queries);
        const std::u16string emptyPath = side.source ? u"获取源路径失败" : u"获取目标路径失败";
        EXPECT_EQ(Lines(side.tag),
                  (std::vector<std::u16string>{
                      LogLine(30, side.tag,
                              u"该项存在 10 不需要用户信任修正,path=C:\\x\\ten.exe level=10.2"),
                      LogLine(30, side.tag, emptyPath), LogLine(35, side.tag, u"防误杀为空")}));
        int32_t level = -1;  // null out pointers are not written
        EXPECT_TRUE(Resolver().GetSrcLevel(&target_, &level, nullptr));
        EXPECT_TRUE(Resolver().GetDstLevel(&target_, nullptr, &level));
    }
}

TEST_F(FileLevels, FirstVersionSendsTheMaskAsItsInValue) {
    services_.trust = {nullptr, &v1_, false};
    // The service answers true and leaves the match type as it came: 0x17 is user trust.
    v1_.Answer(u"C:\\v1.exe", TrustVerdict{true, 0, 0, true});
    for (const FileSide& side : kSides) {
        EXPECT_EQ(Resolve(side, u"C:\\v1.exe", 60, 5), std::make_pair(10, 5));
    }
    EXPECT_EQ(v1_.calls().size(), 2u);
}

// On a 64-bit system the service is asked about the system folder under its real name,
// lowered, and the callers' lines show that path; the level-10 line keeps the path as read.
TEST_F(FileLevels, SysnativePathsAreQueriedInTheirSystem32Form) {
    services_.trust.isWin64 = SystemIsWin64();
    const char* expected = std::getenv("TIERLOCK_EXPECT_WIN64");
#if defined(_WIN32)
    if (!expected || std::string(expected) != "1") {
        GTEST_SKIP() << "needs a 64-bit system";
    }
#endif
    ASSERT_TRUE(services_.trust.isWin64) << (expected ? expected : "");
    const std::u16string windows = WindowsDirectory();
    const std::u16string alias = windows + u"\\Sysnative\\Drivers\\Cmd.EXE";
    const std::u16string mapped =
        tierlock::platform::ToLowerAscii(windows) + u"\\system32\\drivers\\cmd.exe";
    const std::u16string real = windows + u"\\System32\\Cmd.exe";
    v2_.Answer(mapped, {true, 0, 0x4});
    v2_.Answer(real, {true, 0, 0});

    for (const FileSide& side : kSides) {
        SCOPED_TRACE(side.tag);
        framework_.ClearLog();
        EXPECT_EQ(Resolve(side, alias, 70, 0), std::make_pair(10, 0));
        EXPECT_EQ(v2_.calls().back().path, mapped);
        EXPECT_EQ(Resolve(side, real, 70, 0), std::make_pair(70, 0));
        EXPECT_EQ(v2_.calls().back().path, real);
        EXPECT_EQ(Resolve(side, alias, 10, 1), std::make_pair(10, 1));
        EXPECT_EQ(
            Lines(side.tag),
            (std::vector<std::u16string>{
                LogLine(30, side.tag, u"IsCanSkipReport成功，path=" + mapped + u" MatchType=4"),
                LogLine(30, side.tag, u"文件命中了用户信任，修正等级为10，path=" + mapped + u" "),
                LogLine(30, side.tag, u"IsCanSkipReport成功，path=" + real + u" MatchType=0"),
                LogLine(30, side.tag,
                        u"该项存在 10 不需要用户信任修正,path=" + alias + u" level=10.1")}));
    }
}

}  // namespace
}  // namespace level_test
