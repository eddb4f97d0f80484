// The levels of the acting process's chain: known levels at once, the missing ones from one
// cloud query, corrected for trusted signers and written back to the host.
#include <optional>

#include "bundle/bundle.h"
#include "bundle/bundle_pool.h"
#include "levels/level_resolver.h"
#include "levels/level_support.h"
#include "log/log.h"

namespace tierlock {
namespace {

constexpr char kCompletionTag[] = "Tierlock::CompletionCloudQueryProcessLevel";
constexpr char kCloudTag[] = "Tierlock::CloudQueryItemList";
constexpr char kSignerTag[] = "Tierlock::FixLevelBySigner";

// What the cloud is asked to do with an item.
constexpr uint32_t kCloudItemPurpose = 2;
constexpr uint32_t kCloudEventType = 2;
// The cloud query's parameters keep one key set; the trust callers take the kinds below.
constexpr size_t kCloudListBundleKind = 4;

// A process whose level the host knows joins the chain at once; any other is queued for the
// cloud with a scan item of its own (left out silently when the item cannot be made).
void KeepOrQueueForCloud(uint32_t pid, uint64_t createTime, const char16_t* path, bool levelRead,
                         int32_t level, int32_t subLevel, ChainNodes& chain,
                         std::optional<PendingLevels>& pendingList) {
    if (levelRead && level != 0) {
        chain.push_back({pid, level, subLevel});
        Log(LogLevel::Info, kCompletionTag,
            u"已存在的进程链等级，pid=%d ,level=%d,sublevel=%d,path=%s", pid, level, subLevel,
            path);
        return;
    }
    // Made at the first process that needs the cloud: an empty deque allocates already.
    PendingLevels& pending = pendingList ? *pendingList : pendingList.emplace();
    PendingLevel& entry = pending.emplace_back();
    if (entry.item.Receive(CreateScanItem) != RK_S_OK || !entry.item) {
        pending.pop_back();
        return;
    }
    IRKScanItem* item = entry.item.Get();
    entry.pid = pid;
    entry.createTime = createTime;
    item->SetValue2(kCloudItemPurpose);
    item->SetPath(path);
    Log(LogLevel::Info, kCompletionTag, u"进程链上不存在等级，pid=%d ,level=%d,sublevel=%d,path=%s",
        pid, level, subLevel, path);
}

}  // namespace

bool LevelResolver::CompletionCloudQueryProcessLevel(uint32_t pid, const MatchModeItem& mode,
                                                     ChainNodes& chain) const {
    if (mode.parent_process_level.empty() && mode.process_chain_level.empty()) {
        Log(LogLevel::Info, kCompletionTag, u"plev.size()=0 chainlev.size=0,");
        return false;
    }
    if (!m_cloud) {
        Log(LogLevel::Error, kCompletionTag, u"m_spEngCloudV2 == nullptr");
        return false;
    }
    std::optional<PendingLevels> pendingList;
    const ProcessRoute& route = m_processes.Route();
    {
        const ProcessChain members(route, pid,
                                   ChainRequest{.cacheTag = kCompletionTag,
                                                .treeTag = kCompletionTag,
                                                .treeMissing = u"进程树对象为空",
                                                .failureNamesPid = true,
                                                .reportsEmptyTree = true});
        if (!members.available()) {
            return false;
        }
        MemberPathText path;
        for (size_t member = 0; member < members.size(); ++member) {
            const uint32_t memberPid = members.Pid(member);
            if (memberPid == 0) {
                Log(LogLevel::Info, kCompletionTag, u"ItemPid=0");
                continue;
            }
            members.Path(member, memberPid, path);
            const uint64_t createTime = members.CreateTime(member);
            int32_t level = 0;
            int32_t subLevel = 0;
            const bool read = members.Level(member, &level, &subLevel);
            KeepOrQueueForCloud(memberPid, createTime, path.c_str(), read, level, subLevel, chain,
                                pendingList);
        }
    }  // a tree root is given back here, before the cloud is asked
    if (!pendingList || pendingList->empty()) {
        return true;
    }
    PendingLevels& pending = *pendingList;

    const bool answered = CloudQueryItemList(pending);
    if (answered) {
        FixLevelBySigner(pending);
    }
    for (PendingLevel& entry : pending) {
        if (answered) {
            const int32_t level = entry.item->GetLevel();
            const int32_t subLevel = entry.item->GetSubLevel();
            route.WriteLevelPair(entry.pid, &entry.createTime, level, subLevel);
            Log(LogLevel::Info, kCompletionTag, u"pid=%d ,create_time=%llu ,level=%d ,SubLevel=%d",
                entry.pid, entry.createTime, level, subLevel);
            chain.push_back({entry.pid, level, subLevel});
            const char16_t* itemPath = entry.item->GetPath();
            Log(LogLevel::Info, kCompletionTag,
                u"云查得到的进程链等级 pid=%d ,level=%d ,sublevel=%d ,path=%s", entry.pid, level,
                subLevel, itemPath ? itemPath : u"null");
        }
        entry.item.Reset();
    }
    return true;
}

bool LevelResolver::CloudQueryItemList(PendingLevels& pending) const {
    Log(LogLevel::Info, kCloudTag, u"进程链云查开始：文件数=%d",
        static_cast<uint32_t>(pending.size()));
    if (!m_cloud) {
        return false;
    }
    const PooledBundle parameters(kCloudListBundleKind);
    if (!parameters) {
        Log(LogLevel::Error, kCloudTag,
            u"Tierlock::CloudQueryItemList IASBundle CreateInstance error ");
        return false;
    }
    InlineVector<IRKScanItem*, 16> items;
    for (const PendingLevel& entry : pending) {
        items.push_back(entry.item.Get());
    }
    parameters.Get()->PutInt("EventType", kCloudEventType);
    parameters.Get()->PutInt("ItemCount", static_cast<uint32_t>(items.size()));
    return m_cloud->QueryItemList(items.data(), parameters.Get());
}

bool LevelResolver::FixLevelBySigner(PendingLevels& pending) const {
    if (!HasTrustService(m_trust)) {
        Log(LogLevel::Error, kSignerTag, u"防误杀接口为空");
        return false;
    }
    for (PendingLevel& entry : pending) {
        IRKScanItem* item = entry.item.Get();
        if (!item) {
            continue;
        }
        const int32_t level = item->GetLevel();
        const int32_t subLevel = item->GetSubLevel();
        const char16_t* path = item->GetPath();
        // Levels the cloud has settled, and files without a path, need no signer question.
        if (LevelIsSettled(level, subLevel) || !path) {
            continue;
        }
        const TrustAnswer answer =
            QueryTrust(m_trust, path,
                       TrustQuery{TrustCaller::ChainSigner, kMatchWhiteSignature, subLevel,
                                  entry.pid, entry.createTime});
        if (!answer.answered) {
            Log(LogLevel::Error, kSignerTag, u"isSkipReport 失败，path=%s", answer.path());
            continue;
        }
        Log(LogLevel::Info, kSignerTag, u"IsCanSkipReport成功，path=%s MatchType=%d", answer.path(),
            answer.matchType);
        if (answer.Matches(kMatchWhiteSignature)) {
            item->SetLevel(kTrustedLevel);
            Log(LogLevel::Info, kSignerTag, u"文件命中了白签名，修正等级为10，path=%s ",
                answer.path());
        }
    }
    return true;
}

}  // namespace tierlock
