// The levels of the acting process's chain: known levels at once, the missing ones from one
// cloud query, corrected for trusted signers and written back to the host.
#include <string>

#include "bundle/bundle.h"
#include "levels/level_resolver.h"
#include "levels/level_support.h"
#include "log/log.h"
#include "proctree/proctree.h"

namespace tierlock {
namespace {

constexpr char kCompletionTag[] = "Tierlock::CompletionCloudQueryProcessLevel";
constexpr char kCloudTag[] = "Tierlock::CloudQueryItemList";
constexpr char kSignerTag[] = "Tierlock::FixLevelBySigner";

// What the cloud is asked to do with an item.
constexpr uint32_t kCloudItemPurpose = 2;
constexpr uint32_t kCloudEventType = 2;

// A process whose level the host knows joins the chain at once; any other is queued for the
// cloud with a scan item of its own (left out silently when the item cannot be made).
void Collect(uint32_t pid, uint64_t createTime, const std::u16string& path, bool levelRead,
             int32_t level, int32_t subLevel, ChainNodes& chain, PendingLevels& pending) {
    if (levelRead && level != 0) {
        chain.push_back({pid, level, subLevel});
        Log(LogLevel::Info, kCompletionTag,
            u"已存在的进程链等级，pid=%d ,level=%d,sublevel=%d,path=%s", pid, level, subLevel,
            path);
        return;
    }
    PendingLevel& entry = pending.emplace_back();
    if (entry.item.Receive(CreateScanItem) != RK_S_OK || !entry.item) {
        pending.pop_back();
        return;
    }
    IRKScanItem* item = entry.item.Get();
    entry.pid = pid;
    entry.createTime = createTime;
    item->SetValue2(kCloudItemPurpose);
    item->SetPath(path.c_str());
    Log(LogLevel::Info, kCompletionTag, u"进程链上不存在等级，pid=%d ,level=%d,sublevel=%d,path=%s",
        pid, level, subLevel, path);
}

}  // namespace

void LevelResolver::CollectFromCache(IRKProcessTreeCache* cache, uint32_t pid, ChainNodes& chain,
                                     PendingLevels& pending) const {
    rkProcessTreeCacheHelper helper(cache);
    std::vector<RkProcessInfoRecord> records;
    if (!helper.GetChainRecords(pid, records)) {
        Log(LogLevel::Error, kCompletionTag, u"获取进程链失败");
    }
    if (records.empty()) {
        Log(LogLevel::Info, kCompletionTag, u"进程链无节点");
    }
    for (const RkProcessInfoRecord& record : records) {
        if (record.processId == 0) {
            Log(LogLevel::Info, kCompletionTag, u"ItemPid=0");
            continue;
        }
        const uint64_t createTime = record.createTime;
        int32_t level = 0;
        int32_t subLevel = 0;
        const bool read = helper.GetProcessLevel(record.processId, &createTime, level, subLevel);
        Collect(record.processId, createTime, ImagePathOf(record), read, level, subLevel, chain,
                pending);
    }
}

bool LevelResolver::CollectFromTree(uint32_t pid, ChainNodes& chain, PendingLevels& pending) const {
    if (!m_services.procTree || !m_services.helperCtrl) {
        Log(LogLevel::Error, kCompletionTag, u"进程树对象为空");
        return false;
    }
    rkProcTreeHelper* tree = rkProcTreeHelper::GetInstance();
    HeldTreeRoot root(m_services.procTree);
    uint32_t node = 0;
    std::vector<uint32_t> nodePtrs;
    if (m_services.procTree->GetChainNodes(pid, nullptr, root.Receive(), &node) &&
        root.Get() != 0) {
        tree->GetAllNodePtr(root.Get(), node, nodePtrs);
        Log(LogLevel::Info, kCompletionTag, u"成功获取到的进程链信息，节点数：%d",
            static_cast<uint32_t>(nodePtrs.size()));
    } else {
        Log(LogLevel::Error, kCompletionTag, u"获取进程链失败,pid=%d", pid);
    }
    if (nodePtrs.empty()) {
        Log(LogLevel::Error, kCompletionTag, u"未获取正确的进程链数据,pid=%d", pid);
    }
    for (uint32_t nodePtr : nodePtrs) {
        uint32_t memberPid = 0;
        m_services.helperCtrl->GetNodePid(root.Get(), node, nodePtr, &memberPid);
        if (memberPid == 0) {
            Log(LogLevel::Info, kCompletionTag, u"ItemPid=0");
            continue;
        }
        std::u16string path;
        tree->GetPathByNodeOffset(root.Get(), node, nodePtr, memberPid, m_services.trust.isWin64,
                                  path);
        uint64_t createTime = 0;
        m_services.helperCtrl->GetNodeCreateTime(root.Get(), node, nodePtr, &createTime);
        int32_t level = 0;
        int32_t subLevel = 0;
        const bool read =
            tree->GetLevelAndSubByNodeOffset(root.Get(), node, nodePtr, &level, &subLevel);
        Collect(memberPid, createTime, path, read, level, subLevel, chain, pending);
    }
    return true;  // the root is given back here, before the cloud is asked
}

bool LevelResolver::CompletionCloudQueryProcessLevel(IRkRuleTarget* target, uint32_t pid,
                                                     const char16_t* /*path*/,
                                                     const MatchModeItem& mode,
                                                     ChainNodes& chain) const {
    if (mode.parent_process_level.empty() && mode.process_chain_level.empty()) {
        Log(LogLevel::Info, kCompletionTag, u"plev.size()=0 chainlev.size=0,");
        return false;
    }
    if (!m_services.cloud) {
        Log(LogLevel::Error, kCompletionTag, u"m_spEngCloudV2 == nullptr");
        return false;
    }
    PendingLevels pending;
    IRKProcessTreeCache* cache = GetRKProcessTreeCache(target);
    if (cache) {
        CollectFromCache(cache, pid, chain, pending);
    } else if (!CollectFromTree(pid, chain, pending)) {
        return false;
    }
    if (pending.empty()) {
        return true;
    }

    const bool answered = CloudQueryItemList(pending);
    if (answered) {
        FixLevelBySigner(pending);
    }
    rkProcessTreeCacheHelper cacheHelper(cache);
    rkProcTreeHelper* tree = rkProcTreeHelper::GetInstance();
    for (PendingLevel& entry : pending) {
        if (answered) {
            const int32_t level = entry.item->GetLevel();
            const int32_t subLevel = entry.item->GetSubLevel();
            if (cache) {
                cacheHelper.SetProcessProperty(entry.pid, &entry.createTime, "LEVEL", level);
                cacheHelper.SetProcessProperty(entry.pid, &entry.createTime, "SUB_LEVEL", subLevel);
            } else {
                tree->SetLevelByPid(entry.pid, level, &entry.createTime);
                tree->SetSubLevelByPid(entry.pid, subLevel, &entry.createTime);
            }
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
    if (!m_services.cloud) {
        return false;
    }
    HostRef<IASBundle> parameters;
    if (parameters.Receive(CreateBundle) != RK_S_OK || !parameters) {
        Log(LogLevel::Error, kCloudTag,
            u"Tierlock::CloudQueryItemList IASBundle CreateInstance error ");
        return false;
    }
    std::vector<IRKScanItem*> items;
    items.reserve(pending.size());
    for (const PendingLevel& entry : pending) {
        items.push_back(entry.item.Get());
    }
    parameters->PutInt("EventType", kCloudEventType);
    parameters->PutInt("ItemCount", static_cast<uint32_t>(items.size()));
    return m_services.cloud->QueryItemList(items.data(), parameters.Get());
}

bool LevelResolver::FixLevelBySigner(PendingLevels& pending) const {
    if (!HasTrustService(m_services.trust)) {
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
        if (level == kBlackLevel || level == kTrustedLevel || subLevel == kSettledSubLevel ||
            !path) {
            continue;
        }
        const TrustAnswer answer =
            QueryTrust(m_services.trust, path,
                       TrustQuery{TrustCaller::ChainSigner, kMatchWhiteSignature, subLevel,
                                  entry.pid, entry.createTime});
        if (!answer.answered) {
            Log(LogLevel::Error, kSignerTag, u"isSkipReport 失败，path=%s", answer.path);
            continue;
        }
        Log(LogLevel::Info, kSignerTag, u"IsCanSkipReport成功，path=%s MatchType=%d", answer.path,
            answer.matchType);
        if (answer.Matches(kMatchWhiteSignature)) {
            item->SetLevel(kTrustedLevel);
            Log(LogLevel::Info, kSignerTag, u"文件命中了白签名，修正等级为10，path=%s ",
                answer.path);
        }
    }
    return true;
}

}  // namespace tierlock
