// The parent's level from the cache and from the tree: the fixed-level rule, the mask sent,
// the correction that tests either kind of trust, and the failures on the way.
#include <functional>
#include <optional>

#include "level_fixture.h"

namespace level_test {
namespace {

using simhost::LogLine;
using simhost::TreeOp;

constexpr char kTag[] = "Tierlock::GetParentLevel";
constexpr uint64_t kNever = ~uint64_t{0};

struct Resolved {
    bool result;
    int32_t level, subLevel;
};

struct ParentSetup {
    std::optional<uint64_t> expiry;    // FLVL_TTL relative to now, or kNever; empty: none
    int32_t level, subLevel;           // LEVEL / SUB_LEVEL
    std::pair<int32_t, int32_t> pair;  // the pair in force
    uint32_t mask;                     // the match type sent
};

// Fixed pairs are 60.2; an expiry of 0 means "now", 1 "one second ago".
const ParentSetup kSetups[] = {
    {kNever, 50, 0, {60, 2}, 0x17},       {0, 50, 0, {60, 2}, 0x17},
    {1, 50, 0, {50, 0}, 0x1DF},           {std::nullopt, 50, 0, {50, 0}, 0x1DF},
    {std::nullopt, 70, 1, {70, 1}, 0x17}, {std::nullopt, 40, 3, {40, 3}, 0x17},
};

class ParentLevel : public LevelTest {
  protected:
    Resolved Resolve(uint32_t pid) {
        Resolved out{false, -1, -1};
        out.result = Resolver().GetParentLevel(pid, &out.level, &out.subLevel);
        return out;
    }
    static uint64_t Expiry(const ParentSetup& setup, uint64_t now) {
        return *setup.expiry == kNever ? kNever : now - *setup.expiry;
    }
    // Runs resolve against the current second; again when the second turned meanwhile, so
    // that "equals now" is tested as such.
    template <class Body>
    static void AtOneSecond(Body&& body) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const uint64_t now = tierlock::platform::CurrentUnixSeconds();
            body(now);
            if (tierlock::platform::CurrentUnixSeconds() == now) {
                return;
            }
        }
    }
};

// The same parent, described by the cache (found by the id its child's record names) or by the
// tree (whose root is given back), gives the same pair, mask and lines.
TEST_F(ParentLevel, CacheOrTreeDescribesTheParentAndChoosesTheMask) {
    for (const bool fromCache : {false, true}) {  // the cache, once carried, is used
        if (fromCache) {
            UseCache();
        }
        for (const ParentSetup& setup : kSetups) {
            SCOPED_TRACE(std::string(fromCache ? "cache " : "tree ") + std::to_string(setup.level) +
                         "." + std::to_string(setup.subLevel) + " " +
                         std::to_string(setup.expiry.value_or(99)));
            const uint32_t child = NewPid();
            const uint32_t parent = NewPid();
            const uint64_t created = 0x0102030405060708ull + parent;
            const std::u16string path = u"C:\\p\\parent" + Num(parent) + u".exe";
            std::function<void(const char*, int32_t)> setInt;
            std::function<void(uint64_t)> setExpiry;
            if (fromCache) {
                cache_.AddProcess(child, 77, parent, u"C:\\child.exe");
                cache_.AddProcess(parent, created, 4, path);
                setInt = [&](const char* name, int32_t value) {
                    cache_.SetInt(parent, name, value);
                };
                setExpiry = [&](uint64_t value) { cache_.SetUInt64(parent, "FLVL_TTL", value); };
            } else {
                const auto node = AddNode(parent, path, 0, created);
                AddNode(child, u"C:\\t\\child.exe", node, 1);
                setInt = [&, node](const char* name, int32_t value) {
                    Tree().SetInt32(node, name, value);
                };
                setExpiry = [&, node](uint64_t value) {
                    Tree().SetUInt64(node, "FLVL_TTL", value);
                };
            }
            setInt("LEVEL", setup.level);
            setInt("SUB_LEVEL", setup.subLevel);
            setInt("FIX_LEVEL", 60);
            setInt("FIX_SUB_LEVEL", 2);
            // A signature answer: counts for every mask sent, since the test is 0x1DF.
            v2_.Answer(path, {true, 0, 0x8});
            AtOneSecond([&](uint64_t now) {
                if (setup.expiry) {
                    setExpiry(Expiry(setup, now));
                }
                framework_.ClearLog();
                const Resolved resolved = Resolve(child);
                EXPECT_TRUE(resolved.result);
                EXPECT_EQ(resolved.level, 10);
                EXPECT_EQ(resolved.subLevel, setup.pair.second);
            });
            const auto call = v2_.calls().back();
            EXPECT_EQ(call.path, path);
            EXPECT_EQ(call.parameters.at("match_type").second, setup.mask);
            EXPECT_EQ(call.parameters.at("update_process_level").second, 1u);
            EXPECT_EQ(call.parameters.at("process_id").second, parent);
            EXPECT_EQ(call.parameters.at("process_create_time").second, created);
            if (fromCache) {
                // The acting process is looked up, then its parent by the id the record names.
                const auto asked = cache_.infoRequests();
                EXPECT_EQ(std::vector<uint32_t>(asked.end() - 2, asked.end()),
                          (std::vector<uint32_t>{child, parent}));
            }

            const std::u16string pair = Num(setup.pair.first) + u"." + Num(setup.pair.second);
            std::vector<std::u16string> expected;
            // The cache path names the fixed pair and the process it read; the tree's does not.
            if (fromCache && setup.pair.first == 60) {
                expected.push_back(LogLine(30, kTag, u"存在有效的fixlevel"));
            }
            if (setup.mask == 0x17) {
                expected.push_back(
                    LogLine(30, kTag,
                            u"该项存在fixlevel || 70 || 10 || .3 ,不需要白签名修正,level=" + pair));
            }
            if (fromCache) {
                expected.push_back(LogLine(
                    30, kTag,
                    u"pid=" + Num(parent) + u" create_time=" + Num(created) + u" path=" + path));
            }
            expected.push_back(LogLine(
                30, kTag,
                u"获取父进程原始等级，current_pid=" + Num(child) + u" level=" + pair + u" ret=1"));
            expected.push_back(
                LogLine(30, kTag, u"IsCanSkipReport成功，path=" + path + u" MatchType=8"));
            expected.push_back(LogLine(
                30, kTag, u"文件命中了用户信任和白签名，修正等级为10，path=" + path + u" "));
            EXPECT_EQ(Lines(kTag), expected);
        }
    }
}

// On a 64-bit system the tree's path is read in its sysnative form and asked about in its
// system32 form.
TEST_F(ParentLevel, TreePathIsConvertedAndMappedBack) {
    services_.trust.isWin64 = true;
    const uint32_t parentPid = NewPid();
    const std::u16string windows = WindowsDirectory();
    const auto parent = AddNode(parentPid, windows + u"\\System32\\Svchost.exe", 0, 5);
    const uint32_t child = NewPid();
    AddNode(child, u"C:\\c.exe", parent, 6);
    Tree().SetInt32(parent, "LEVEL", 50);
    Resolve(child);
    EXPECT_EQ(Tree().Text(parent, "CURRENT_CONVERT_PATH"), windows + u"\\sysnative\\Svchost.exe");
    EXPECT_EQ(v2_.calls().back().path,
              tierlock::platform::ToLowerAscii(windows) + u"\\system32\\svchost.exe");
}

TEST_F(ParentLevel, FailuresKeepThePairAndSayWhy) {
    const uint32_t orphan = NewPid();
    AddNode(orphan, u"C:\\orphan.exe");
    const uint32_t child = NewPid();
    AddNode(child, u"C:\\c.exe", AddNode(NewPid(), u"C:\\p.exe"));
    auto lookupFailed = [&](uint32_t pid) {
        return std::vector<std::u16string>{
            LogLine(35, kTag, u"获取父进程节点失败,pid=" + Num(pid)),
            LogLine(30, kTag, u"获取父进程原始等级，current_pid=" + Num(pid) + u" level=0.0 ret=0"),
            LogLine(35, kTag, u"获取父进程路径失败")};
    };
    struct Case {
        const char* name;
        std::function<uint32_t()> arrange;  // the pid to resolve
    };
    const Case cases[] = {
        {"no parent in the tree", [&] { return orphan; }},
        {"parent lookup fails",
         [&] {
             Tree().SetFailing(TreeOp::GetParentNode, true);
             return child;
         }},
        {"unknown to the cache",
         [&] {
             UseCache();
             return child;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        framework_.ClearLog();
        const uint32_t pid = c.arrange();
        const Resolved resolved = Resolve(pid);
        EXPECT_FALSE(resolved.result);
        EXPECT_EQ(std::make_pair(resolved.level, resolved.subLevel), std::make_pair(0, 0));
        EXPECT_EQ(Lines(kTag), lookupFailed(pid));
    }
    EXPECT_TRUE(v2_.calls().empty());
}

TEST_F(ParentLevel, NoTreeNoCacheMeansNoLevel) {
    services_.procTree = nullptr;
    const Resolved resolved = Resolve(NewPid());
    EXPECT_FALSE(resolved.result);
    EXPECT_EQ(std::make_pair(resolved.level, resolved.subLevel), std::make_pair(0, 0));
    EXPECT_EQ(Lines(kTag), (std::vector<std::u16string>{LogLine(35, kTag, u"进程树对象为空")}));
    for (uint32_t op = 0; op < static_cast<uint32_t>(TreeOp::Count); ++op) {
        EXPECT_EQ(Tree().calls(static_cast<TreeOp>(op)), 0u);
    }
}

TEST_F(ParentLevel, LevelTenNoServiceAndRefusedQueries) {
    UseCache();
    struct Case {
        int32_t level, subLevel;
        bool service;
        bool answer;
        bool result;
        std::u16string last;  // the last line
        int32_t expectedLevel;
    };
    const Case cases[] = {
        {10, 2, true, true, true, LogLine(30, kTag, u"10等级父进程不需要进行防误杀校验"), 10},
        {50, 1, false, true, true, LogLine(35, kTag, u"防误杀为空"), 50},
        {50, 1, true, false, true, u"", 50},
    };
    for (const Case& c : cases) {
        const uint32_t child = NewPid();
        const uint32_t parent = NewPid();
        const std::u16string path = u"C:\\q" + Num(parent) + u".exe";
        cache_.AddProcess(child, std::nullopt, parent, u"C:\\c.exe");
        cache_.AddProcess(parent, std::nullopt, 4, path);
        cache_.SetInt(parent, "LEVEL", c.level);
        cache_.SetInt(parent, "SUB_LEVEL", c.subLevel);
        services_.trust =
            c.service ? tierlock::TrustServices{&v2_, nullptr, false} : tierlock::TrustServices{};
        v2_.Answer(path, {c.answer, 1, 0x17});
        const size_t queries = v2_.calls().size();
        framework_.ClearLog();
        const Resolved resolved = Resolve(child);
        EXPECT_EQ(resolved.result, c.result);
        EXPECT_EQ(std::make_pair(resolved.level, resolved.subLevel),
                  std::make_pair(c.expectedLevel, c.subLevel));
        EXPECT_EQ(Lines(kTag).back(),
                  c.last.empty() ? LogLine(35, kTag, u"isSkipReport 失败，path=" + path) : c.last);
        EXPECT_EQ(v2_.calls().size(), queries + (c.service && c.level != 10 ? 1 : 0));
    }
}

}  // namespace
}  // namespace level_test
