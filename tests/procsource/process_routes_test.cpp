// Both process routes, the event's process-information cache and the process tree, answer the
// same questions: the parent's level and the mask it is asked about, the chain with the cloud's
// levels written back, and the parent the pop-up request names. No service may be called while
// a tree root is held.
#include <algorithm>
#include <map>
#include <tuple>

#include "bundle/bundle_pool.h"
#include "engine/popup_request.h"
#include "levels/level_fixture.h"
#include "platform/windows_directory.h"

namespace level_test {
namespace {

using simhost::LogLine;
using simhost::TreeOp;
using tierlock::ChainNodes;

constexpr char kParentTag[] = "Tierlock::GetParentLevel";
constexpr char kChainTag[] = "Tierlock::CompletionCloudQueryProcessLevel";
constexpr char kCloudTag[] = "Tierlock::CloudQueryItemList";
constexpr char kSignerTag[] = "Tierlock::FixLevelBySigner";
constexpr uint64_t kNever = ~uint64_t{0};

std::u16string PathOf(uint32_t pid) {
    return u"C:\\r\\p" + Num(pid) + u".exe";
}

// Typed by whether the target carries the cache (the cache route) or not (the tree route).
template <class CarriesCache>
class ProcessRoutes : public LevelTest {
  protected:
    static constexpr bool kCache = CarriesCache::value;

    void SetUp() override {
        LevelTest::SetUp();
        cache_.AnswerChainsFromParents();
        if (kCache) {
            UseCache();
        }
        v2_.WatchTree(&Tree());
        cloud_.WatchTree(&Tree());
    }
    void TearDown() override {
        for (const auto& call : v2_.calls()) {
            EXPECT_EQ(call.heldRoots, 0u) << simhost::ToUtf8(call.path);
        }
        for (const auto& call : cloud_.calls()) {
            EXPECT_EQ(call.heldRoots, 0u);
        }
        LevelTest::TearDown();
    }

    static uint64_t CreatedOf(uint32_t pid) { return 1000 + pid; }
    // A process under parent (0: none) with a fresh pid; a level of 0 leaves the pair unset.
    uint32_t Add(uint32_t parent, std::optional<uint64_t> createTime = std::nullopt,
                 int32_t level = 0, int32_t subLevel = 0) {
        const uint32_t pid = NewPid();
        const uint64_t created = createTime.value_or(CreatedOf(pid));
        if (kCache) {
            cache_.AddProcess(pid, created, parent, PathOf(pid));
        } else {
            nodes_[pid] = AddNode(pid, PathOf(pid), parent ? nodes_.at(parent) : 0, created);
        }
        if (level != 0) {
            Set(pid, "LEVEL", level);
            Set(pid, "SUB_LEVEL", subLevel);
        }
        return pid;
    }
    // A chain of processes, each the parent of the next; the last one acts.
    std::vector<uint32_t> Chain(const std::vector<std::pair<int32_t, int32_t>>& levels) {
        std::vector<uint32_t> pids;
        for (const auto& [level, subLevel] : levels) {
            pids.push_back(Add(pids.empty() ? 0 : pids.back(), std::nullopt, level, subLevel));
        }
        acting_ = pids.back();
        return pids;
    }
    void Set(uint32_t pid, const char* name, int32_t value) {
        kCache ? cache_.SetInt(pid, name, value) : Tree().SetInt32(nodes_.at(pid), name, value);
    }
    void SetExpiry(uint32_t pid, uint64_t value) {
        kCache ? cache_.SetUInt64(pid, "FLVL_TTL", value)
               : Tree().SetUInt64(nodes_.at(pid), "FLVL_TTL", value);
    }
    // A 32-bit property as the host holds it now.
    std::optional<int32_t> Stored(uint32_t pid, const char* name) const {
        return kCache ? cache_.Int(pid, name) : Tree().Int32(nodes_.at(pid), name);
    }

    std::pair<int32_t, int32_t> Parent(uint32_t pid, bool expected) {
        int32_t level = -1, subLevel = -1;
        EXPECT_EQ(Resolver().GetParentLevel(pid, &level, &subLevel), expected);
        return {level, subLevel};
    }
    bool Complete(ChainNodes& chain, const tierlock::MatchModeItem& mode = ChainMode()) {
        return Resolver().CompletionCloudQueryProcessLevel(acting_, mode, chain);
    }
    static tierlock::MatchModeItem ChainMode() { return {0, {}, {}, {}, {{70, 0, 65535}}, ""}; }

    std::map<uint32_t, simhost::NodeId> nodes_;
    uint32_t acting_ = 0;
};

using Routes = ::testing::Types<std::true_type, std::false_type>;
TYPED_TEST_SUITE(ProcessRoutes, Routes);
using TreeRoute = ProcessRoutes<std::false_type>;
using CacheRouteOnly = ProcessRoutes<std::true_type>;

// Runs body against the current second; again when the second turned meanwhile, so that
// "equals now" is tested as such.
template <class Body>
void AtOneSecond(Body&& body) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const uint64_t now = tierlock::platform::CurrentUnixSeconds();
        body(now);
        if (tierlock::platform::CurrentUnixSeconds() == now) {
            return;
        }
    }
}

TYPED_TEST(ProcessRoutes, ParentPairAndTheMaskItIsAskedWith) {
    struct Setup {
        std::optional<uint64_t> age;  // of FLVL_TTL in seconds before now, or kNever; empty: none
        int32_t level, subLevel;
        std::pair<int32_t, int32_t> pair;  // in force; fixed pairs are 60.2
        uint32_t mask;
    };
    const Setup setups[] = {
        {kNever, 50, 0, {60, 2}, 0x17},
        {0, 50, 0, {60, 2}, 0x17},
        {1, 50, 0, {50, 0}, 0x1DF},
        {std::nullopt, 50, 0, {50, 0}, 0x1DF},
        {std::nullopt, 70, 1, {70, 1}, 0x17},
        {std::nullopt, 40, 3, {40, 3}, 0x17},
        {1, 70, 0, {70, 0}, 0x17},
    };
    for (const Setup& s : setups) {
        SCOPED_TRACE(std::to_string(s.level) + " " + std::to_string(s.age.value_or(99)));
        const uint64_t created = 0x0102030405060708ull + this->NewPid();
        const uint32_t parent = this->Add(0, created, s.level, s.subLevel);
        const uint32_t child = this->Add(parent, 77);
        this->Set(parent, "FIX_LEVEL", 60);
        this->Set(parent, "FIX_SUB_LEVEL", 2);
        const std::u16string path = PathOf(parent);
        this->v2_.Answer(path, {true, 0, 0x8});  // a signature answer counts for either mask
        AtOneSecond([&](uint64_t now) {
            if (s.age) {
                this->SetExpiry(parent, *s.age == kNever ? kNever : now - *s.age);
            }
            this->framework_.ClearLog();
            EXPECT_EQ(this->Parent(child, true), std::make_pair(10, s.pair.second));
        });
        const auto asked = this->v2_.calls().back().parameters;
        EXPECT_EQ(std::tuple(asked.at("match_type").second, asked.at("process_id").second,
                             asked.at("process_create_time").second),
                  std::tuple(uint64_t{s.mask}, uint64_t{parent}, created));

        auto line = [](const std::u16string& text) { return LogLine(30, kParentTag, text); };
        const std::u16string pair = Num(s.pair.first) + u"." + Num(s.pair.second);
        const auto lines = this->Lines(kParentTag);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(
            std::vector(lines.end() - 3, lines.end()),
            (std::vector{line(u"获取父进程原始等级，current_pid=" + Num(child) + u" level=" + pair +
                              u" ret=1"),
                         line(u"IsCanSkipReport成功，path=" + path + u" MatchType=8"),
                         line(u"文件命中了用户信任和白签名，修正等级为10，path=" + path + u" ")}));
    }
}

// A parent without a level pair is read as 0.0 and asked about with either mask; one that cannot
// be found keeps 0.0 and asks nothing.
TYPED_TEST(ProcessRoutes, ParentFailuresKeepThePairAndSayWhy) {
    const uint32_t upper = this->Add(0);
    const uint32_t unleveled = this->Add(upper);
    this->framework_.ClearLog();
    EXPECT_EQ(this->Parent(unleveled, true), std::make_pair(0, 0));
    EXPECT_EQ(this->v2_.calls().back().parameters.at("match_type").second, 0x1DFu);
    EXPECT_EQ(this->Lines(kParentTag).back(),
              LogLine(35, kParentTag, u"isSkipReport 失败，path=" + PathOf(upper)));

    auto lookupFailed = [](uint32_t pid) {
        return std::vector<std::u16string>{
            LogLine(35, kParentTag, u"获取父进程节点失败,pid=" + Num(pid)),
            LogLine(30, kParentTag,
                    u"获取父进程原始等级，current_pid=" + Num(pid) + u" level=0.0 ret=0"),
            LogLine(35, kParentTag, u"获取父进程路径失败")};
    };
    const size_t queries = this->v2_.calls().size();
    // No parent: the cache's record names id 0, which is not looked up.
    const uint32_t orphan = this->Add(0);
    this->framework_.ClearLog();
    const size_t asked = this->cache_.infoRequests().size();
    EXPECT_EQ(this->Parent(orphan, false), std::make_pair(0, 0));
    EXPECT_EQ(this->Lines(kParentTag), lookupFailed(orphan));
    EXPECT_EQ(this->cache_.infoRequests().size() - asked, TestFixture::kCache ? 1u : 0u);
    // A parent the cache does not hold, or a tree whose parent lookup fails.
    const uint32_t lost = TestFixture::kCache ? this->Add(this->NewPid()) : unleveled;
    LevelTest::Tree().SetFailing(TreeOp::GetParentNode, true);
    this->framework_.ClearLog();
    EXPECT_EQ(this->Parent(lost, false), std::make_pair(0, 0));
    EXPECT_EQ(this->Lines(kParentTag), lookupFailed(lost));
    EXPECT_EQ(this->v2_.calls().size(), queries);
}

TEST_F(TreeRoute, ParentNodeWithoutPointerOrWithoutServices) {
    const uint32_t child = Add(Add(0, 5, 50, 1));
    Tree().SetFailing(TreeOp::GetNodePtr, true);
    EXPECT_EQ(Parent(child, false), std::make_pair(0, 0));
    EXPECT_EQ(Lines(kParentTag).back(), LogLine(35, kParentTag, u"获取父进程路径失败"));
    Tree().SetFailing(TreeOp::GetNodePtr, false);

    framework_.ClearLog();
    services_.procTree = nullptr;
    EXPECT_EQ(Parent(child, false), std::make_pair(0, 0));
    EXPECT_EQ(Lines(kParentTag), std::vector{LogLine(35, kParentTag, u"进程树对象为空")});
}

TYPED_TEST(ProcessRoutes, LevelTenNoServiceAndRefusedQueries) {
    const std::tuple<int32_t, bool, bool, const char16_t*> cases[] = {
        {10, true, true, u"[INFO ][Tierlock::GetParentLevel] 10等级父进程不需要进行防误杀校验"},
        {50, false, true, u"[ERROR][Tierlock::GetParentLevel] 防误杀为空"},
        {50, true, false, u"[ERROR][Tierlock::GetParentLevel] isSkipReport 失败，path=C:"}};
    for (const auto& [level, service, answer, last] : cases) {
        const uint32_t parent = this->Add(0, 0, level, 2);
        this->services_.trust = service ? tierlock::TrustServices{&this->v2_, nullptr, false}
                                        : tierlock::TrustServices{};
        this->v2_.Answer(PathOf(parent), {answer, 1, 0x17});
        const size_t queries = this->v2_.calls().size();
        EXPECT_EQ(this->Parent(this->Add(parent), true), std::make_pair(level, 2));
        EXPECT_NE(this->Lines(kParentTag).back().find(last), std::u16string::npos);
        EXPECT_EQ(this->v2_.calls().size(), queries + (service && level != 10 ? 1 : 0));
    }
}

// On a 64-bit system the tree's path is read in its sysnative form and asked about in its
// system32 form.
TEST_F(TreeRoute, ParentPathIsConvertedAndMappedBack) {
    services_.trust.isWin64 = true;
    const uint32_t parentPid = NewPid();
    const std::u16string windows = WindowsDirectory();
    const auto parent = AddNode(parentPid, windows + u"\\System32\\Svchost.exe", 0, 5);
    const uint32_t child = NewPid();
    AddNode(child, u"C:\\c.exe", parent, 6);
    Tree().SetInt32(parent, "LEVEL", 50);
    Parent(child, true);
    EXPECT_EQ(Tree().Text(parent, "CURRENT_CONVERT_PATH"), windows + u"\\sysnative\\Svchost.exe");
    EXPECT_EQ(v2_.calls().back().path,
              tierlock::platform::ToLowerAscii(windows) + u"\\system32\\svchost.exe");
}

TYPED_TEST(ProcessRoutes, KnownLevelsFirstThenTheCloudCorrectedBySigner) {
    const auto m = this->Chain({{30, 0}, {0, 0}, {70, 2}});
    this->cloud_.Answer(PathOf(m[1]), {50, 1});
    this->v2_.Answer(PathOf(m[1]), {true, 0, 0x40});
    ChainNodes chain;
    ASSERT_TRUE(this->Complete(chain));
    EXPECT_EQ(chain, (ChainNodes{{m[0], 30, 0}, {m[2], 70, 2}, {m[1], 10, 1}}));

    // One cloud call with one item, then one signer question about it.
    const auto calls = this->cloud_.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].parameters, (simhost::BundleNumbers{{"EventType", {RK_BUNDLE_INT, 2}},
                                                           {"ItemCount", {RK_BUNDLE_INT, 1}}}));
    ASSERT_EQ(calls[0].items.size(), 1u);
    EXPECT_EQ(std::pair(calls[0].items[0].path, calls[0].items[0].value2),
              std::pair(std::optional(PathOf(m[1])), 2u));
    const uint64_t created = TestFixture::CreatedOf(m[1]);
    ASSERT_EQ(this->v2_.calls().size(), 1u);
    const auto asked = this->v2_.calls()[0].parameters;  // the rest is the trust query's
    EXPECT_EQ(std::tuple(asked.at("process_id").second, asked.at("process_create_time"),
                         asked.at("sublevel").second),
              std::tuple(uint64_t{m[1]}, std::pair(uint32_t{RK_BUNDLE_INT64}, created), 1u));
    // Written back as LEVEL 10 / SUB_LEVEL 1 for that very process.
    EXPECT_EQ(std::pair(this->Stored(m[1], "LEVEL"), this->Stored(m[1], "SUB_LEVEL")),
              std::pair(std::optional(10), std::optional(1)));
    for (const auto& write : this->cache_.writes()) {
        EXPECT_EQ(std::make_pair(write.pid, write.createTime),
                  std::make_pair(m[1], std::optional(created)));
    }

    auto line = [](const char* tag, const std::u16string& text) { return LogLine(30, tag, text); };
    std::vector<std::u16string> expected = {
        line(kChainTag, u"已存在的进程链等级，pid=" + Num(m[0]) + u" ,level=30,sublevel=0,path=" +
                            PathOf(m[0])),
        line(kChainTag, u"进程链上不存在等级，pid=" + Num(m[1]) + u" ,level=0,sublevel=0,path=" +
                            PathOf(m[1])),
        line(kChainTag, u"已存在的进程链等级，pid=" + Num(m[2]) + u" ,level=70,sublevel=2,path=" +
                            PathOf(m[2])),
        line(kChainTag,
             u"pid=" + Num(m[1]) + u" ,create_time=" + Num(created) + u" ,level=10 ,SubLevel=1"),
        line(kChainTag, u"云查得到的进程链等级 pid=" + Num(m[1]) +
                            u" ,level=10 ,sublevel=1 ,path=" + PathOf(m[1]))};
    if (!TestFixture::kCache) {
        expected.insert(expected.begin(), line(kChainTag, u"成功获取到的进程链信息，节点数：3"));
    }
    EXPECT_EQ(this->Lines(kChainTag), expected);
    EXPECT_EQ(
        this->Lines(kSignerTag),
        (std::vector<std::u16string>{
            line(kSignerTag, u"IsCanSkipReport成功，path=" + PathOf(m[1]) + u" MatchType=64"),
            line(kSignerTag, u"文件命中了白签名，修正等级为10，path=" + PathOf(m[1]) + u" ")}));
}

// A cache record filled to the end of its path field has no terminator: the member's path
// is the field's 260 units, never what lies after them.
TEST_F(CacheRouteOnly, ChainPathFillingItsWholeField) {
    const std::u16string longPath = u"C:\\" + std::u16string(297, u'p');
    acting_ = NewPid();
    cache_.AddProcess(acting_, CreatedOf(acting_), 0, longPath);
    ChainNodes chain;
    ASSERT_TRUE(Complete(chain));
    ASSERT_EQ(cloud_.calls().size(), 1u);
    ASSERT_EQ(cloud_.calls()[0].items.size(), 1u);
    EXPECT_EQ(cloud_.calls()[0].items[0].path, std::optional(longPath.substr(0, 260)));
}

// A member whose creation time the tree cannot give is written back with none.
TEST_F(TreeRoute, ChainMemberWithoutCreationTime) {
    const auto m = Chain({{0, 0}, {70, 2}});
    cloud_.Answer(PathOf(m[0]), {50, 1});
    Tree().SetFailing(TreeOp::GetNodeCreateTime, true);
    ChainNodes chain;
    ASSERT_TRUE(Complete(chain));
    EXPECT_EQ(
        std::ranges::count(
            Lines(kChainTag),
            LogLine(30, kChainTag, u"pid=" + Num(m[0]) + u" ,create_time=0 ,level=50 ,SubLevel=1")),
        1);
}

// Every missing level goes to the cloud in one call; only unsettled cloud levels are asked
// about their signer, and only a signature bit corrects them.
TYPED_TEST(ProcessRoutes, SignerQuestionsOnlyForUnsettledCloudLevels) {
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
    const auto m = this->Chain(std::vector<std::pair<int32_t, int32_t>>(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        // A level of 0 that was read counts as missing.
        this->Set(m[i], "LEVEL", 0);
        this->Set(m[i], "SUB_LEVEL", 4);
        this->cloud_.Answer(PathOf(m[i]), {cases[i].cloud.first, cases[i].cloud.second});
        this->v2_.Answer(PathOf(m[i]), {true, 0, cases[i].matchType});
    }
    ChainNodes chain;
    ASSERT_TRUE(this->Complete(chain));
    ASSERT_EQ(this->cloud_.calls().size(), 1u);
    EXPECT_EQ(this->cloud_.calls()[0].items.size(), std::size(cases));
    ASSERT_EQ(chain.size(), std::size(cases));
    const auto calls = this->v2_.calls();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chain[i],
                  (tierlock::ChainNode{m[i], cases[i].result.first, cases[i].result.second}));
        EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                                [&](const auto& call) { return call.path == PathOf(m[i]); }),
                  cases[i].asked ? 1 : 0);
    }
}

TYPED_TEST(ProcessRoutes, WithoutAnAnswerNothingIsWrittenAndTheRestStands) {
    for (const bool cloudFails : {true, false}) {  // else there is no parameter set for it
        this->framework_.ClearLog();
        const auto m = this->Chain({{30, 0}, {0, 0}});
        this->cloud_.Answer(PathOf(m[1]), {50, 1});
        const size_t before = this->cloud_.calls().size();
        this->cloud_.SetFailing(cloudFails);
        tierlock::ReleasePooledBundles();  // an idle parameter set would need no new object
        g_objectBudget = cloudFails ? ~size_t{0} : g_objectsMade + 1;  // the one scan item
        ChainNodes chain;
        EXPECT_TRUE(this->Complete(chain));
        g_objectBudget = ~size_t{0};
        this->cloud_.SetFailing(false);
        EXPECT_EQ(chain, (ChainNodes{{m[0], 30, 0}}));
        EXPECT_EQ(this->Stored(m[1], "LEVEL"), std::nullopt);
        EXPECT_EQ(this->cloud_.calls().size() - before, cloudFails ? 1u : 0u);
        EXPECT_EQ(this->Lines(kCloudTag).back(),
                  cloudFails
                      ? LogLine(30, kCloudTag, u"进程链云查开始：文件数=1")
                      : LogLine(35, kCloudTag,
                                u"Tierlock::CloudQueryItemList IASBundle CreateInstance error "));
        EXPECT_TRUE(this->Lines(kSignerTag).empty());
        // The collection lines only, nothing from the cloud.
        EXPECT_EQ(this->Lines(kChainTag).size(), TestFixture::kCache ? 2u : 3u);
    }
    EXPECT_TRUE(this->v2_.calls().empty());
}

// Without a trust service the cloud's levels stand; 0.0 is written to the cache as it came and
// refused by the tree.
TYPED_TEST(ProcessRoutes, WithoutATrustServiceCloudLevelsStay) {
    this->services_.trust = {};
    const auto m = this->Chain({{0, 0}, {0, 0}});
    this->cloud_.Answer(PathOf(m[0]), {50, 1});
    ChainNodes chain;
    EXPECT_TRUE(this->Complete(chain));
    EXPECT_EQ(chain, (ChainNodes{{m[0], 50, 1}, {m[1], 0, 0}}));
    EXPECT_EQ(std::pair(this->Stored(m[0], "SUB_LEVEL"), this->Stored(m[1], "LEVEL")),
              std::pair(std::optional(1), TestFixture::kCache ? std::optional(0) : std::nullopt));
    EXPECT_EQ(this->Lines(kSignerTag),
              (std::vector<std::u16string>{LogLine(35, kSignerTag, u"防误杀接口为空")}));
}

TYPED_TEST(ProcessRoutes, ProcessesWithoutAnItemAreLeftOutSilently) {
    const auto m = this->Chain({{30, 0}, {0, 0}});
    g_objectBudget = g_objectsMade.load();
    ChainNodes chain;
    EXPECT_TRUE(this->Complete(chain));
    EXPECT_EQ(chain, (ChainNodes{{m[0], 30, 0}}));
    EXPECT_TRUE(this->cloud_.calls().empty());
    EXPECT_EQ(this->Lines(kChainTag).size(), TestFixture::kCache ? 1u : 2u);
}

// A chain that cannot be fetched, and members the route cannot name, give an empty chain.
TYPED_TEST(ProcessRoutes, ChainFailures) {
    const uint32_t acting = this->Chain({{0, 0}, {0, 0}}).back();
    auto line = [](int32_t level, const std::u16string& text) {
        return LogLine(level, kChainTag, text);
    };
    this->acting_ = this->NewPid();  // unknown to the route
    ChainNodes chain;
    EXPECT_TRUE(this->Complete(chain));
    EXPECT_EQ(this->Lines(kChainTag),
              (TestFixture::kCache
                   ? std::vector{line(35, u"获取进程链失败"), line(30, u"进程链无节点")}
                   : std::vector{line(35, u"获取进程链失败,pid=" + Num(this->acting_)),
                                 line(35, u"未获取正确的进程链数据,pid=" + Num(this->acting_))}));
    // Zero-filled records, or node pids that can no longer be read after the walk.
    this->framework_.ClearLog();
    this->acting_ = acting;
    this->cache_.failChainFill = true;
    LevelTest::Tree().FailAfter(TreeOp::GetNodePid, 2);
    EXPECT_TRUE(this->Complete(chain));
    EXPECT_EQ(this->Lines(kChainTag),
              (std::vector{TestFixture::kCache ? line(35, u"获取进程链失败")
                                               : line(30, u"成功获取到的进程链信息，节点数：2"),
                           line(30, u"ItemPid=0"), line(30, u"ItemPid=0")}));
    EXPECT_TRUE(chain.empty());
    EXPECT_TRUE(this->cloud_.calls().empty());
}

TYPED_TEST(ProcessRoutes, NothingStartsWithoutListsOrCloudOrTree) {
    this->Chain({{0, 0}});
    const size_t bundleReads = this->target_.bundleReads();
    ChainNodes chain;
    EXPECT_FALSE(this->Complete(chain, tierlock::MatchModeItem{}));
    EXPECT_EQ(this->Lines(kChainTag),
              std::vector{LogLine(30, kChainTag, u"plev.size()=0 chainlev.size=0,")});
    this->framework_.ClearLog();
    this->services_.cloud = nullptr;
    EXPECT_FALSE(this->Complete(chain, {0, {}, {}, {{10, 0, 65535}}, {}, ""}));  // a parent list
    EXPECT_EQ(this->Lines(kChainTag),
              std::vector{LogLine(35, kChainTag, u"m_spEngCloudV2 == nullptr")});
    // No host call of any kind.
    EXPECT_EQ(this->target_.bundleReads(), bundleReads);
    EXPECT_EQ(this->cache_.calls(), 0u);
    for (uint32_t op = 0; op < static_cast<uint32_t>(TreeOp::Count); ++op) {
        EXPECT_EQ(LevelTest::Tree().calls(static_cast<TreeOp>(op)), 0u);
    }
    EXPECT_TRUE(this->cloud_.calls().empty());
    EXPECT_TRUE(this->v2_.calls().empty());
    EXPECT_TRUE(chain.empty());

    // Without the tree's services only the cache can answer.
    this->framework_.ClearLog();
    this->services_.cloud = &this->cloud_;
    this->services_.helperCtrl = nullptr;
    EXPECT_EQ(this->Complete(chain), TestFixture::kCache);
    EXPECT_EQ(this->Lines(kChainTag).back() == LogLine(35, kChainTag, u"进程树对象为空"),
              !TestFixture::kCache);
}

// The pop-up request names the parent the route knows for the acting process with the creation
// time the event gives; a process that reused the pid, with another time, is not it.
TYPED_TEST(ProcessRoutes, TheRequestsParentIsThatOfTheProcessWithTheEventsTime) {
    const uint32_t parent = this->Add(0);
    tierlock::RkEventRecord record{};
    record.ProcessId = this->Add(parent, 0x1234);
    record.ProcessPath = u"C:\\a.exe";
    IASBundle* ext = nullptr;
    ASSERT_EQ(tierlock::CreateBundle(&ext), RK_S_OK);
    record.recordSize = tierlock::kRecordSizeWithExtBundle;
    record.extBundle = ext;
    simhost::RuleEvent event;
    const tierlock::MatchRule rule;
    record.PPID = 4;
    // Once corrected, the parent is neither corrected nor logged again.
    for (const uint64_t time : {0x1235ull, 0x1234ull, 0x1234ull}) {
        ext->PutInt64("real_current_pid_time", static_cast<uint32_t>(time), 0);
        this->Resolver();
        EXPECT_EQ(tierlock::RequestPopup({}, *this->processes_, &event, record, &this->target_,
                                         {&rule}, 0, ""),
                  0);
        EXPECT_EQ(record.PPID, time == 0x1234 ? parent : 4u) << time;
    }
    // The line's text is checked by the replay of the bundled examples.
    const auto lines = this->Lines("Tierlock::LastProcessEvent");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const auto& line) { return line.find(u"Fixed PPID") != line.npos; }),
              1);
    ext->Release();
}

TEST_F(TreeRoute, NoRequestBundleNoPopupAndTheRecordStays) {
    simhost::RuleEvent event;
    event.record.PPID = 4;
    const tierlock::MatchRule rule;
    g_objectBudget = 0;
    Resolver();
    EXPECT_EQ(
        tierlock::RequestPopup({}, *processes_, &event, event.record, &target_, {&rule}, 0, "text"),
        0);
    g_objectBudget = ~size_t{0};
    EXPECT_EQ(framework_.texts(), std::vector{LogLine(30, "Tierlock::LastProcessEvent",
                                                      u"Create Bundle instance failed")});
    EXPECT_TRUE(framework_.popups().empty());
    EXPECT_EQ(event.record.PPID, 4u);
}

TEST(ProcessTreeCache, IsFoundInTheTargetsBundle) {
    simhost::Framework framework;
    tierlock::g_pFrame.Assign(&framework);
    simhost::RuleTarget target;
    simhost::ProcessCache cache;
    EXPECT_EQ(tierlock::GetRKProcessTreeCache(nullptr), nullptr);
    EXPECT_EQ(tierlock::GetRKProcessTreeCache(&target), nullptr);
    target.CarryCache(nullptr);
    EXPECT_EQ(tierlock::GetRKProcessTreeCache(&target), nullptr);
    target.CarryCache(&cache);
    EXPECT_EQ(tierlock::GetRKProcessTreeCache(&target), &cache);
    EXPECT_EQ(framework.texts(),
              (std::vector<std::u16string>{
                  LogLine(35, "GetRKProcessTreeCache", u"nullptr == Bundle"),
                  LogLine(35, "GetRKProcessTreeCache", u"ProcessTreeCache is null")}));
    tierlock::g_pFrame.Reset();
}

}  // namespace
}  // namespace level_test
