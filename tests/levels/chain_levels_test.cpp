// Process-chain levels: known levels at once, the rest from one cloud query, the signer
// correction, the write-back to the cache or the tree, and every way the walk can fail.
#include <cstring>
#include <functional>

#include "level_fixture.h"

namespace level_test {
namespace {

using simhost::LogLine;
using simhost::TreeOp;
using tierlock::ChainNode;
using tierlock::ChainNodes;

constexpr char kTag[] = "Tierlock::CompletionCloudQueryProcessLevel";
constexpr char kCloudTag[] = "Tierlock::CloudQueryItemList";
constexpr char kSignerTag[] = "Tierlock::FixLevelBySigner";

tierlock::MatchModeItem ChainMode() {
    tierlock::MatchModeItem mode;
    mode.process_chain_level = {{70, 0, 65535}};
    return mode;
}

struct Member {
    uint32_t pid;
    uint64_t createTime;
    std::u16string path;
};

class ChainLevels : public LevelTest {
  protected:
    // A cached chain, listed by the host acting process last; levels of 0.0 are left unset.
    std::vector<Member> CacheChain(const std::vector<std::pair<int32_t, int32_t>>& levels) {
        UseCache();
        std::vector<Member> members;
        std::vector<uint32_t> hostOrder;
        for (const auto& [level, subLevel] : levels) {
            const uint32_t pid = NewPid();
            members.push_back({pid, 1000000 + pid, u"C:\\chain\\p" + Num(pid) + u".exe"});
            cache_.AddProcess(pid, members.back().createTime, 0, members.back().path);
            if (level != 0 || subLevel != 0) {
                cache_.SetInt(pid, "LEVEL", level);
                cache_.SetInt(pid, "SUB_LEVEL", subLevel);
            }
            hostOrder.insert(hostOrder.begin(), pid);
        }
        acting_ = members.back().pid;
        cache_.SetChain(acting_, hostOrder);  // the plug-in reverses the host's order
        return members;
    }

    bool Complete(ChainNodes& chain, const tierlock::MatchModeItem& mode = ChainMode()) {
        return Resolver().CompletionCloudQueryProcessLevel(acting_, mode, chain);
    }

    std::vector<simhost::ProcessCache::Write> LevelWrites() const {
        std::vector<simhost::ProcessCache::Write> writes;
        for (const auto& write : cache_.writes()) {
            if (write.name == "LEVEL" || write.name == "SUB_LEVEL") {
                writes.push_back(write);
            }
        }
        return writes;
    }

    uint32_t acting_ = 0;
};

std::vector<uint8_t> Bytes(int32_t value) {
    std::vector<uint8_t> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

TEST_F(ChainLevels, KnownLevelsFirstThenTheCloudCorrectedBySigner) {
    const auto m = CacheChain({{30, 0}, {0, 0}, {70, 2}});
    cloud_.Answer(m[1].path, {50, 1});
    v2_.Answer(m[1].path, {true, 0, 0x40});
    ChainNodes chain;
    ASSERT_TRUE(Complete(chain));
    EXPECT_EQ(chain, (ChainNodes{{m[0].pid, 30, 0}, {m[2].pid, 70, 2}, {m[1].pid, 10, 1}}));

    // One cloud call with one item, then one signer question about it.
    const auto calls = cloud_.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].parameters, (simhost::BundleNumbers{{"EventType", {RK_BUNDLE_INT, 2}},
                                                           {"ItemCount", {RK_BUNDLE_INT, 1}}}));
    ASSERT_EQ(calls[0].items.size(), 1u);
    EXPECT_EQ(calls[0].items[0].path, m[1].path);
    EXPECT_EQ(calls[0].items[0].value2, 2u);
    ASSERT_EQ(v2_.calls().size(), 1u);
    EXPECT_EQ(v2_.calls()[0].parameters,
              (simhost::BundleNumbers{{"sync_scan", {RK_BUNDLE_INT, 1}},
                                      {"sublevel", {RK_BUNDLE_INT, 1}},
                                      {"isSysFile", {RK_BUNDLE_INT, 0}},
                                      {"update_process_level", {RK_BUNDLE_INT, 1}},
                                      {"process_id", {RK_BUNDLE_INT, m[1].pid}},
                                      {"process_create_time", {RK_BUNDLE_INT64, m[1].createTime}},
                                      {"match_type", {RK_BUNDLE_INT, 0x1C8}}}));

    // Written back as LEVEL 10 / SUB_LEVEL 1 for that very process.
    const auto writes = LevelWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].name, "LEVEL");
    EXPECT_EQ(writes[0].data, Bytes(10));
    EXPECT_EQ(writes[1].name, "SUB_LEVEL");
    EXPECT_EQ(writes[1].data, Bytes(1));
    for (const auto& write : writes) {
        EXPECT_EQ(write.pid, m[1].pid);
        EXPECT_EQ(write.createTime, m[1].createTime);
    }

    auto line = [](const char* tag, const std::u16string& text) { return LogLine(30, tag, text); };
    EXPECT_EQ(Lines(kTag), (std::vector<std::u16string>{
                               line(kTag, u"已存在的进程链等级，pid=" + Num(m[0].pid) +
                                              u" ,level=30,sublevel=0,path=" + m[0].path),
                               line(kTag, u"进程链上不存在等级，pid=" + Num(m[1].pid) +
                                              u" ,level=0,sublevel=0,path=" + m[1].path),
                               line(kTag, u"已存在的进程链等级，pid=" + Num(m[2].pid) +
                                              u" ,level=70,sublevel=2,path=" + m[2].path),
                               line(kTag, u"pid=" + Num(m[1].pid) + u" ,create_time=" +
                                              Num(m[1].createTime) + u" ,level=10 ,SubLevel=1"),
                               line(kTag, u"云查得到的进程链等级 pid=" + Num(m[1].pid) +
                                              u" ,level=10 ,sublevel=1 ,path=" + m[1].path)}));
    EXPECT_EQ(Lines(kCloudTag),
              (std::vector<std::u16string>{line(kCloudTag, u"进程链云查开始：文件数=1")}));
    EXPECT_EQ(Lines(kSignerTag),
              (std::vector<std::u16string>{
                  line(kSignerTag, u"IsCanSkipReport成功，path=" + m[1].path + u" MatchType=64"),
                  line(kSignerTag, u"文件命中了白签名，修正等级为10，path=" + m[1].path + u" ")}));
}

// Every missing level goes to the cloud in one call; only unsettled cloud levels are asked
// about their signer, and only a signature bit corrects them.
TEST_F(ChainLevels, SignerQuestionsOnlyForUnsettledCloudLevels) {
    struct Case {
        std::pair<int32_t, int32_t> cloud;
        uint32_t matchType;
        bool asked;
        std::pair<int32_t, int32_t> result;
    };
    const Case cases[] = {
        {{70, 3}, 0x40, false, {70, 3}}, {{10, 4}, 0x40, false, {10, 4}},
        {{40, 3}, 0x40, false, {40, 3}}, {{70, 1}, 0x40, false, {70, 1}},
        {{50, 1}, 0x2, true, {50, 1}},   {{50, 1}, 0x100, true, {10, 1}},
        {{0, 0}, 0x8, true, {10, 0}},
    };
    // A cached level of 0 counts as missing even though it was read.
    const auto m = CacheChain(std::vector<std::pair<int32_t, int32_t>>(std::size(cases), {0, 4}));
    for (size_t i = 0; i < std::size(cases); ++i) {
        cloud_.Answer(m[i].path, {cases[i].cloud.first, cases[i].cloud.second});
        v2_.Answer(m[i].path, {true, 0, cases[i].matchType});
    }
    ChainNodes chain;
    ASSERT_TRUE(Complete(chain));
    ASSERT_EQ(cloud_.calls().size(), 1u);
    EXPECT_EQ(cloud_.calls()[0].items.size(), std::size(cases));
    EXPECT_EQ(Lines(kTag)[0], LogLine(30, kTag,
                                      u"进程链上不存在等级，pid=" + Num(m[0].pid) +
                                          u" ,level=0,sublevel=4,path=" + m[0].path));
    ASSERT_EQ(chain.size(), std::size(cases));
    std::vector<std::u16string> asked;
    for (const auto& call : v2_.calls()) {
        asked.push_back(call.path);
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chain[i], (ChainNode{m[i].pid, cases[i].result.first, cases[i].result.second}));
        EXPECT_EQ(std::count(asked.begin(), asked.end(), m[i].path), cases[i].asked ? 1 : 0);
    }
}

TEST_F(ChainLevels, WithoutAnAnswerNothingIsWrittenAndTheRestStands) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::vector<std::u16string> cloudLines;
        size_t cloudCalls;
    };
    const Case cases[] = {
        {"the cloud answers false", [&] { cloud_.SetFailing(true); }, {}, 1},
        {"no parameter set for the cloud",
         [&] { g_objectBudget = g_objectsMade + 1; },  // the one scan item, then nothing
         {LogLine(35, kCloudTag, u"Tierlock::CloudQueryItemList IASBundle CreateInstance error ")},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        framework_.ClearLog();
        const auto m = CacheChain({{30, 0}, {0, 0}});
        cloud_.Answer(m[1].path, {50, 1});
        const size_t before = cloud_.calls().size();
        c.arrange();
        ChainNodes chain;
        EXPECT_TRUE(Complete(chain));
        g_objectBudget = ~size_t{0};
        cloud_.SetFailing(false);
        EXPECT_EQ(chain, (ChainNodes{{m[0].pid, 30, 0}}));
        EXPECT_TRUE(LevelWrites().empty());
        EXPECT_EQ(cloud_.calls().size() - before, c.cloudCalls);
        auto cloudLines = c.cloudLines;
        cloudLines.insert(cloudLines.begin(), LogLine(30, kCloudTag, u"进程链云查开始：文件数=1"));
        EXPECT_EQ(Lines(kCloudTag), cloudLines);
        EXPECT_TRUE(Lines(kSignerTag).empty());
        EXPECT_EQ(Lines(kTag).size(), 2u);  // the two collection lines, nothing from the cloud
    }
    EXPECT_TRUE(v2_.calls().empty());
}

TEST_F(ChainLevels, WithoutATrustServiceCloudLevelsStay) {
    services_.trust = {};
    const auto m = CacheChain({{0, 0}});
    cloud_.Answer(m[0].path, {50, 1});
    ChainNodes chain;
    EXPECT_TRUE(Complete(chain));
    EXPECT_EQ(chain, (ChainNodes{{m[0].pid, 50, 1}}));
    EXPECT_EQ(Lines(kSignerTag),
              (std::vector<std::u16string>{LogLine(35, kSignerTag, u"防误杀接口为空")}));
}

TEST_F(ChainLevels, ProcessesWithoutAnItemAreLeftOutSilently) {
    const auto m = CacheChain({{30, 0}, {0, 0}});
    g_objectBudget = g_objectsMade.load();
    ChainNodes chain;
    EXPECT_TRUE(Complete(chain));
    EXPECT_EQ(chain, (ChainNodes{{m[0].pid, 30, 0}}));
    EXPECT_TRUE(cloud_.calls().empty());
    EXPECT_EQ(Lines(kTag).size(), 1u);
}

TEST_F(ChainLevels, CacheChainFailures) {
    UseCache();
    const uint32_t known = NewPid();
    cache_.AddProcess(known, 1, 0, u"C:\\k.exe");
    cache_.SetChain(known, {known, known});
    cache_.failChainFill = true;  // the records stay zero-filled
    struct Case {
        uint32_t pid;
        std::vector<std::u16string> lines;
    };
    const Case cases[] = {
        {NewPid(), {LogLine(35, kTag, u"获取进程链失败"), LogLine(30, kTag, u"进程链无节点")}},
        {known,
         {LogLine(35, kTag, u"获取进程链失败"), LogLine(30, kTag, u"ItemPid=0"),
          LogLine(30, kTag, u"ItemPid=0")}},
    };
    for (const Case& c : cases) {
        framework_.ClearLog();
        acting_ = c.pid;
        ChainNodes chain;
        EXPECT_TRUE(Complete(chain));
        EXPECT_TRUE(chain.empty());
        EXPECT_EQ(Lines(kTag), c.lines);
    }
    EXPECT_TRUE(cloud_.calls().empty());
}

TEST_F(ChainLevels, TreeChainWritesBackToTheTreeAndReleasesItsRoot) {
    const uint32_t top = NewPid(), middle = NewPid(), acting = NewPid();
    const auto topNode = AddNode(top, u"C:\\top.exe", 0, 11);
    const auto middleNode = AddNode(middle, u"C:\\middle.exe", topNode, 12);
    const auto actingNode = AddNode(acting, u"C:\\acting.exe", middleNode, 13);
    Tree().SetInt32(topNode, "LEVEL", 30);
    Tree().SetInt32(actingNode, "LEVEL", 70);
    Tree().SetInt32(actingNode, "SUB_LEVEL", 2);
    cloud_.Answer(u"C:\\middle.exe", {50, 1});
    v2_.Answer(u"C:\\middle.exe", {true, 0, 0x40});
    acting_ = acting;
    ChainNodes chain;
    ASSERT_TRUE(Complete(chain));
    EXPECT_EQ(chain, (ChainNodes{{top, 30, 0}, {acting, 70, 2}, {middle, 10, 1}}));
    EXPECT_EQ(Tree().Property(middleNode, "LEVEL"), Bytes(10));
    EXPECT_EQ(Tree().Property(middleNode, "SUB_LEVEL"), Bytes(1));
    EXPECT_EQ(v2_.calls().at(0).parameters.at("process_create_time").second, 12u);
    EXPECT_EQ(Tree().heldRoots(), 0u);
    EXPECT_EQ(Lines(kTag).front(), LogLine(30, kTag, u"成功获取到的进程链信息，节点数：3"));
}

TEST_F(ChainLevels, TreeChainFailures) {
    const uint32_t pid = NewPid();
    AddNode(pid, u"C:\\alone.exe");
    acting_ = pid;
    Tree().SetFailing(TreeOp::GetChainNodes, true);
    ChainNodes chain;
    EXPECT_TRUE(Complete(chain));
    EXPECT_TRUE(chain.empty());
    EXPECT_EQ(Lines(kTag), (std::vector<std::u16string>{
                               LogLine(35, kTag, u"获取进程链失败,pid=" + Num(pid)),
                               LogLine(35, kTag, u"未获取正确的进程链数据,pid=" + Num(pid))}));

    framework_.ClearLog();
    services_.helperCtrl = nullptr;
    EXPECT_FALSE(Complete(chain));
    EXPECT_EQ(Lines(kTag), (std::vector<std::u16string>{LogLine(35, kTag, u"进程树对象为空")}));
    EXPECT_TRUE(cloud_.calls().empty());
}

TEST_F(ChainLevels, NothingStartsWithoutListsOrCloud) {
    UseCache();
    const size_t bundleReads = target_.bundleReads();
    ChainNodes chain;
    EXPECT_FALSE(Complete(chain, tierlock::MatchModeItem{}));
    EXPECT_EQ(Lines(kTag),
              (std::vector<std::u16string>{LogLine(30, kTag, u"plev.size()=0 chainlev.size=0,")}));
    framework_.ClearLog();
    services_.cloud = nullptr;
    tierlock::MatchModeItem parentOnly;
    parentOnly.parent_process_level = {{10, 0, 65535}};
    EXPECT_FALSE(Complete(chain, parentOnly));
    EXPECT_EQ(Lines(kTag),
              (std::vector<std::u16string>{LogLine(35, kTag, u"m_spEngCloudV2 == nullptr")}));

    // No host call of any kind.
    EXPECT_EQ(target_.bundleReads(), bundleReads);
    EXPECT_EQ(cache_.calls(), 0u);
    for (uint32_t op = 0; op < static_cast<uint32_t>(TreeOp::Count); ++op) {
        EXPECT_EQ(Tree().calls(static_cast<TreeOp>(op)), 0u);
    }
    EXPECT_TRUE(cloud_.calls().empty());
    EXPECT_TRUE(v2_.calls().empty());
    EXPECT_TRUE(chain.empty());
}

}  // namespace
}  // namespace level_test
