// The parent process's level as the process source reads it, then possibly lifted to 10 by the
// trust query.
#include <string>

#include "levels/level_resolver.h"
#include "levels/level_support.h"
#include "log/log.h"

namespace tierlock {
namespace {

constexpr char kTag[] = "Tierlock::GetParentLevel";

// Lifts the level to 10 when the service trusts the parent's file for either reason,
// whichever mask was sent. result becomes true when the level is 10 already.
void CorrectByTrust(const TrustServices& trust, bool wantsSignatureCheck, ParentProcess& parent,
                    bool& result) {
    if (parent.level == kTrustedLevel) {
        Log(LogLevel::Info, kTag, u"10等级父进程不需要进行防误杀校验");
        result = true;
        return;
    }
    if (parent.path.empty()) {
        Log(LogLevel::Error, kTag, u"获取父进程路径失败");
        return;
    }
    if (!HasTrustService(trust)) {
        Log(LogLevel::Error, kTag, u"防误杀为空");
        return;
    }
    const uint32_t mask = wantsSignatureCheck ? kMatchEither : kMatchUserTrust;
    const TrustAnswer answer =
        QueryTrust(trust, parent.path.c_str(),
                   TrustQuery{TrustCaller::Parent, mask, 0, parent.pid, parent.createTime});
    if (!answer.answered) {
        Log(LogLevel::Error, kTag, u"isSkipReport 失败，path=%s", answer.path());
        return;
    }
    Log(LogLevel::Info, kTag, u"IsCanSkipReport成功，path=%s MatchType=%d", answer.path(),
        answer.matchType);
    if (answer.Matches(kMatchEither)) {
        parent.level = kTrustedLevel;
        Log(LogLevel::Info, kTag, u"文件命中了用户信任和白签名，修正等级为10，path=%s ",
            answer.path());
    }
}

}  // namespace

bool LevelResolver::GetParentLevel(uint32_t pid, int32_t* level, int32_t* subLevel) const {
    ParentProcess parent;
    bool result = false;
    const ProcessRoute& route = m_processes.Route();
    if (!route.Available()) {
        Log(LogLevel::Error, kTag, u"进程树对象为空");
    } else {
        // A fixed pair, 70, 10 or a settled sub-level needs no question about its signer.
        bool wantsSignatureCheck = true;
        const ParentRead read{kTag, [&](const ParentProcess& known, bool fixedInForce) {
                                  if (fixedInForce || LevelIsSettled(known.level, known.subLevel)) {
                                      wantsSignatureCheck = false;
                                      Log(LogLevel::Info, kTag,
                                          u"该项存在fixlevel || 70 || 10 || .3 "
                                          u",不需要白签名修正,level=%d.%d",
                                          known.level, known.subLevel);
                                  }
                              }};
        route.ReadParent(pid, read, parent);
        result = parent.levelRead;
        Log(LogLevel::Info, kTag, u"获取父进程原始等级，current_pid=%d level=%d.%d ret=%d", pid,
            parent.level, parent.subLevel, result ? 1 : 0);
        CorrectByTrust(m_trust, wantsSignatureCheck, parent, result);
    }
    if (level) {
        *level = parent.level;
    }
    if (subLevel) {
        *subLevel = parent.subLevel;
    }
    return result;
}

}  // namespace tierlock
