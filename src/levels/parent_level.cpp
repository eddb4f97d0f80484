// The parent process's level: from the event's process-information cache, or else from the
// process tree, then possibly lifted to 10 by the trust query.
#include <string>

#include "levels/level_resolver.h"
#include "levels/level_support.h"
#include "log/log.h"
#include "platform/clock.h"
#include "proctree/level_pair.h"
#include "proctree/proctree.h"

namespace tierlock {
namespace {

constexpr char kTag[] = "Tierlock::GetParentLevel";

// What one call learns about the parent before the trust question.
struct ParentFacts {
    int32_t level = 0;
    int32_t subLevel = 0;
    uint32_t pid = 0;
    uint64_t createTime = 0;
    std::u16string path;
    // A pinned level, 70, 10 or a settled sub-level needs no question about its signer.
    bool wantsSignatureCheck = true;
    bool result = false;

    bool LevelIsSettled() const {
        return level == kBlackLevel || level == kTrustedLevel || subLevel == kSettledSubLevel;
    }
    void NoteNoSignatureCheck() {
        wantsSignatureCheck = false;
        Log(LogLevel::Info, kTag,
            u"该项存在fixlevel || 70 || 10 || .3 ,不需要白签名修正,level=%d.%d", level, subLevel);
    }
};

// The acting process's record names its parent at byte 16; the parent's own record then
// gives the identity and path that the tree path would give too.
bool FindParentRecord(IRKProcessTreeCache* cache, uint32_t pid, RkProcessInfoRecord& parent) {
    RkProcessInfoRecord acting{};
    if (!cache->GetProcessInfo(pid, nullptr, &acting) || acting.parentProcessId == 0) {
        return false;
    }
    parent = RkProcessInfoRecord{};
    return cache->GetProcessInfo(acting.parentProcessId, nullptr, &parent);
}

void ReadFromCache(IRKProcessTreeCache* cache, uint32_t pid, ParentFacts& facts) {
    RkProcessInfoRecord parent{};
    if (!FindParentRecord(cache, pid, parent)) {
        Log(LogLevel::Error, kTag, u"获取父进程节点失败,pid=%d", pid);
        return;
    }
    facts.pid = parent.processId;
    facts.createTime = parent.createTime;
    facts.path = ImagePathOf(parent);

    rkProcessTreeCacheHelper helper(cache);
    uint64_t expiry = kNeverExpires;
    if (helper.GetProcessProperty(facts.pid, &facts.createTime, kFixLevelTtl, expiry) &&
        FixedPairInForce(expiry, platform::CurrentUnixSeconds())) {
        Log(LogLevel::Info, kTag, u"存在有效的fixlevel");
        helper.GetProcessLevel(facts.pid, &facts.createTime, facts.level, facts.subLevel);
        facts.NoteNoSignatureCheck();
    } else {
        helper.GetProcessLevel(facts.pid, &facts.createTime, facts.level, facts.subLevel);
        if (facts.LevelIsSettled()) {
            facts.NoteNoSignatureCheck();
        }
    }
    Log(LogLevel::Info, kTag, u"pid=%d create_time=%llu path=%s", facts.pid, facts.createTime,
        facts.path);
    facts.result = true;
}

void ReadFromTree(const LevelServices& services, uint32_t pid, ParentFacts& facts) {
    HeldTreeRoot root(services.procTree);
    uint32_t node = 0;
    const bool found = services.procTree->GetParentNode(pid, nullptr, root.Receive(), &node);
    if (!found || root.Get() == 0) {
        Log(LogLevel::Error, kTag, u"获取父进程节点失败,pid=%d", pid);
        return;
    }
    rkProcTreeHelper* tree = rkProcTreeHelper::GetInstance();
    facts.result =
        tree->GetLevelAndSubByRootOffset(root.Get(), node, &facts.level, &facts.subLevel);
    if (tree->FixLevel_is_Exist_ByRootOffset(root.Get(), node) || facts.LevelIsSettled()) {
        facts.NoteNoSignatureCheck();
    }
    tree->GetRootPid(root.Get(), node, facts.pid);
    tree->GetPathByRootOffset(root.Get(), node, facts.pid, services.trust.isWin64, facts.path);
    uint32_t nodePtr = 0;
    if (services.helperCtrl->GetNodePtr(root.Get(), node, &nodePtr) && nodePtr != 0) {
        services.helperCtrl->GetNodeCreateTime(root.Get(), node, nodePtr, &facts.createTime);
    }
}

// Lifts the level to 10 when the service trusts the parent's file for either reason,
// whichever mask was sent.
void CorrectByTrust(const TrustServices& trust, ParentFacts& facts) {
    if (facts.level == kTrustedLevel) {
        Log(LogLevel::Info, kTag, u"10等级父进程不需要进行防误杀校验");
        facts.result = true;
        return;
    }
    if (facts.path.empty()) {
        Log(LogLevel::Error, kTag, u"获取父进程路径失败");
        return;
    }
    if (!HasTrustService(trust)) {
        Log(LogLevel::Error, kTag, u"防误杀为空");
        return;
    }
    const uint32_t mask = facts.wantsSignatureCheck ? kMatchEither : kMatchUserTrust;
    const TrustAnswer answer =
        QueryTrust(trust, facts.path.c_str(),
                   TrustQuery{TrustCaller::Parent, mask, 0, facts.pid, facts.createTime});
    if (!answer.answered) {
        Log(LogLevel::Error, kTag, u"isSkipReport 失败，path=%s", answer.path);
        return;
    }
    Log(LogLevel::Info, kTag, u"IsCanSkipReport成功，path=%s MatchType=%d", answer.path,
        answer.matchType);
    if (answer.Matches(kMatchEither)) {
        facts.level = kTrustedLevel;
        Log(LogLevel::Info, kTag, u"文件命中了用户信任和白签名，修正等级为10，path=%s ",
            answer.path);
    }
}

}  // namespace

bool LevelResolver::GetParentLevel(IRkRuleTarget* target, uint32_t pid, int32_t* level,
                                   int32_t* subLevel) const {
    ParentFacts facts;
    IRKProcessTreeCache* cache = GetRKProcessTreeCache(target);
    if (!cache && (!m_services.procTree || !m_services.helperCtrl)) {
        Log(LogLevel::Error, kTag, u"进程树对象为空");
    } else {
        if (cache) {
            ReadFromCache(cache, pid, facts);
        } else {
            ReadFromTree(m_services, pid, facts);
        }
        Log(LogLevel::Info, kTag, u"获取父进程原始等级，current_pid=%d level=%d.%d ret=%d", pid,
            facts.level, facts.subLevel, facts.result ? 1 : 0);
        CorrectByTrust(m_services.trust, facts);
    }
    if (level) {
        *level = facts.level;
    }
    if (subLevel) {
        *subLevel = facts.subLevel;
    }
    return facts.result;
}

}  // namespace tierlock
