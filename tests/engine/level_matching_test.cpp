// Level matching through the simulated host: which rule and match mode win, which levels are
// resolved and how often, and the lines the comparison writes.
#include <algorithm>
#include <string>

#include "engine/level_matching.h"
#include "levels/level_fixture.h"

namespace level_test {
namespace {

using simhost::LogLine;
using tierlock::LevelRangeList;
using tierlock::MatchModeItem;
using tierlock::MatchRule;

constexpr char kTag[] = "Tierlock::CompareEventLevels";
constexpr char kCompletionTag[] = "Tierlock::CompletionCloudQueryProcessLevel";

MatchModeItem Mode(uint32_t id, LevelRangeList src, LevelRangeList dst, LevelRangeList parent,
                   LevelRangeList chain, std::string popwnd) {
    return {id, std::move(src), std::move(dst), std::move(parent), std::move(chain), popwnd};
}

MatchRule Rule(uint32_t id, uint32_t modeId) {
    return {id, 3, 0, {9}, modeId};
}

struct Outcome {
    bool result;
    int32_t index;
    std::string popwnd;
};

class LevelMatching : public LevelTest {
  protected:
    void SetUp() override {
        LevelTest::SetUp();
        target_.srcPath = u"C:\\src.exe";
        target_.dstPath = u"C:\\dst.exe";
        target_.srcLevel = 70;
        target_.srcSubLevel = 3;
        target_.dstLevel = 40;
        target_.dstSubLevel = 1;
    }

    // A cached chain, top first, each process the parent of the next; the last one acts.
    std::vector<uint32_t> Chain(const std::vector<std::pair<int32_t, int32_t>>& levels) {
        UseCache();
        std::vector<uint32_t> pids;
        uint32_t parent = 4;
        for (const auto& [level, subLevel] : levels) {
            const uint32_t pid = NewPid();
            cache_.AddProcess(pid, std::nullopt, parent, u"C:\\m\\" + Num(pid) + u".exe");
            cache_.SetInt(pid, "LEVEL", level);
            cache_.SetInt(pid, "SUB_LEVEL", subLevel);
            pids.push_back(parent = pid);
        }
        cache_.SetChain(pids.back(), std::vector<uint32_t>(pids.rbegin(), pids.rend()));
        record_.ProcessId = pids.back();
        record_.PPID = pids.size() > 1 ? pids[pids.size() - 2] : 4;
        return pids;
    }

    // The out values start as outcome says.
    Outcome Compare(const std::vector<MatchRule>& rules, const tierlock::MatchNodes& nodes,
                    Outcome outcome = {false, 0, ""}) {
        ruleSet_ = tierlock::RuleSet(rules, nodes);
        candidates_.clear();
        for (const MatchRule& rule : ruleSet_.rules()) {
            candidates_.push_back(&rule);
        }
        outcome.result = tierlock::CompareEventLevels(ruleSet_, Resolver(), &candidates_, record_,
                                                      &target_, outcome.index, outcome.popwnd);
        return outcome;
    }

    std::u16string Line(const std::u16string& message) const { return LogLine(30, kTag, message); }
    std::u16string LevelsLine() const {
        return Line(u"srcLevel=70.3,dstLevel=40.1，srcFile=C:\\src.exe,DstFile=C:\\dst.exe");
    }

    tierlock::RkEventRecord record_{};
    tierlock::RuleSet ruleSet_;
    tierlock::CandidateRules candidates_;
};

// Which ranges fit is the rule model's; here the lines of a mode that tests the source only.
TEST_F(LevelMatching, TheSourceOnlyMode) {
    Outcome outcome = Compare({Rule(4, 1)}, {{1, {Mode(6, {{70, 4, 9}}, {}, {}, {}, "x")}}});
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(Lines(kTag), (std::vector{LevelsLine(), Line(u"src_level unmatch")}));
    framework_.ClearLog();
    outcome = Compare({Rule(4, 1)}, {{1, {Mode(6, {{70, 0, 5}}, {}, {}, {}, "only-src")}}});
    EXPECT_EQ(outcome.popwnd, "only-src");
    EXPECT_EQ(Lines(kTag), (std::vector{LevelsLine(), Line(u"Target.parent_process_level.size = 0"),
                                        Line(u"chainlev Matched Success,chainlvl=0,"
                                             u"ruleItemid=4 modeid=1 modeIndex=6")}));
}

TEST_F(LevelMatching, TheLastMatchWinsAndMissingModesAreSkipped) {
    const tierlock::MatchNodes nodes = {
        {1, {Mode(1, {}, {{40, 1, 1}}, {}, {}, "first")}},
        // A match through an empty chain list ends its rule: the third mode is not tested.
        {2,
         {Mode(1, {}, {{41, 0, 9}}, {}, {}, "never"), Mode(2, {}, {}, {}, {}, "second"),
          Mode(3, {}, {}, {}, {}, "after the end")}},
    };
    Outcome outcome = Compare({Rule(1, 1), Rule(2, 2)}, nodes);
    EXPECT_EQ(std::pair(outcome.index, outcome.popwnd), std::pair(1, std::string("second")));
    EXPECT_EQ(std::ranges::count(Lines(kTag), Line(u"dst_level unmatch")), 1);  // "never"

    framework_.ClearLog();
    outcome = Compare({Rule(1, 77), Rule(2, 1)}, nodes);
    EXPECT_EQ(std::pair(outcome.index, outcome.popwnd), std::pair(1, std::string("first")));
    EXPECT_EQ(Lines(kTag)[1], Line(u"m_matchNodes Find mode_id=77 Fail"));

    // No match: the out values stay as the caller set them.
    outcome =
        Compare({Rule(1, 2)}, {{2, {Mode(1, {{1, 0, 0}}, {}, {}, {}, "x")}}}, {true, 5, "kept"});
    EXPECT_EQ(std::make_tuple(outcome.result, outcome.index, outcome.popwnd),
              std::make_tuple(false, 5, std::string("kept")));
}

TEST_F(LevelMatching, OnlyTheThirdChainNodeFits) {
    const auto pids = Chain({{30, 0}, {40, 0}, {70, 2}});
    const Outcome outcome =
        Compare({Rule(3, 1)}, {{1, {Mode(8, {}, {}, {}, {{70, 0, 65535}}, "chain")}}});
    EXPECT_EQ(outcome.popwnd, "chain");
    EXPECT_EQ(Lines(kTag),
              (std::vector<std::u16string>{
                  LevelsLine(), Line(u"Target.parent_process_level.size = 0"),
                  Line(u"Chainlevel=30.0 pid=" + Num(pids[0])),
                  Line(u"Chainlevel=40.0 pid=" + Num(pids[1])),
                  Line(u"Chainlevel=70.2 pid=" + Num(pids[2])),
                  Line(u"chainlev Matched Success,ruleItemid=3 modeid=1 modeIndex=8")}));
}

// After one successful completion later match modes reuse its chain, and a match through the
// chain leaves the rule's later modes to be tested.
TEST_F(LevelMatching, TheCompletedChainIsReusedAndAskedForOnce) {
    Chain({{30, 0}, {70, 2}});
    const Outcome outcome =
        Compare({Rule(3, 1)}, {{1,
                                {Mode(1, {{10, 0, 65535}}, {}, {}, {{70, 0, 65535}}, "skipped"),
                                 Mode(2, {}, {}, {}, {{70, 0, 65535}}, "by chain"),
                                 Mode(3, {}, {}, {}, {{30, 0, 0}}, "by reused chain")}}});
    EXPECT_EQ(outcome.popwnd, "by reused chain");
    // One completion: each known level is reported once; the mode that failed its source
    // test never asked.
    EXPECT_EQ(Lines(kCompletionTag).size(), 2u);
    EXPECT_EQ(Lines(kTag).back(),
              Line(u"chainlev Matched Success,ruleItemid=3 modeid=1 modeIndex=3"));
}

// A mode without parent or chain lists asks for the completion too, which declines; the next
// mode asks again and gets the chain.
TEST_F(LevelMatching, CompletionIsAskedAgainAfterItDeclined) {
    Chain({{70, 2}});
    const Outcome outcome =
        Compare({Rule(1, 1), Rule(2, 2)}, {{1, {Mode(1, {}, {}, {}, {}, "no lists")}},
                                           {2, {Mode(1, {}, {}, {}, {{70, 2, 2}}, "chain")}}});
    EXPECT_EQ(std::pair(outcome.index, outcome.popwnd), std::pair(1, std::string("chain")));
    EXPECT_EQ(Lines(kCompletionTag).front(),
              LogLine(30, kCompletionTag, u"plev.size()=0 chainlev.size=0,"));
}

// The parent is resolved once while its level is known, and again while it is still 0.
TEST_F(LevelMatching, TheParentIsResolvedAgainOnlyWhileUnknown) {
    for (const int32_t known : {50, 0}) {
        const auto pids = known ? Chain({{50, 0}, {20, 0}}) : Chain({{20, 0}});  // 0: no parent
        framework_.ClearLog();
        const Outcome outcome =
            Compare({Rule(3, 1)}, {{1,
                                    {Mode(1, {}, {}, {{60, 0, 65535}}, {}, "no"),
                                     Mode(2, {}, {}, {{known, 0, 0}}, {}, "p")}}});
        EXPECT_EQ(outcome.popwnd, "p");
        const auto lines = Lines(kTag);
        const std::u16string pair = Num(known) + u".0";
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             Line(u"current_pid=" + Num(pids.back()) + u" Parentlevel=" + pair)),
                  known ? 1 : 2);
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             Line(u"pid=" + Num(record_.PPID) + u" Parentlevel=" + pair + u" ")),
                  known ? 1 : 0);
    }
}

}  // namespace
}  // namespace level_test
