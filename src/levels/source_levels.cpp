// The source and destination file levels: what the host put on the target, lifted to level 10
// when the user trusts the file.
#include "levels/level_resolver.h"
#include "levels/level_support.h"
#include "log/log.h"

namespace tierlock {
namespace {

// The target operations and texts that tell the two twins apart.
struct FileSide {
    const char* tag;
    const char16_t* emptyPathMessage;
    int32_t (*readLevel)(IRkRuleTarget*);
    int32_t (*readSubLevel)(IRkRuleTarget*);
    const char16_t* (*readPath)(IRkRuleTarget*);
};

constexpr FileSide kSource = {"Tierlock::GetSrcLevel", u"获取源路径失败",
                              [](IRkRuleTarget* t) { return t->GetSrcFileLevel(); },
                              [](IRkRuleTarget* t) { return t->GetSrcFileSubLevel(); },
                              [](IRkRuleTarget* t) { return t->GetSrcPath(); }};

constexpr FileSide kDestination = {"Tierlock::GetDstLevel", u"获取目标路径失败",
                                   [](IRkRuleTarget* t) { return t->GetDstFileLevel(); },
                                   [](IRkRuleTarget* t) { return t->GetDstFileSubLevel(); },
                                   [](IRkRuleTarget* t) { return t->GetDstPath(); }};

// The file's level after the user-trust question; the sub-level is never changed.
int32_t UserTrustCorrected(const TrustServices& trust, const FileSide& side, IRkRuleTarget* target,
                           int32_t level, int32_t subLevel) {
    if (!HasTrustService(trust)) {
        Log(LogLevel::Error, side.tag, u"防误杀为空");
        return level;
    }
    // A host that answers no path at all is treated as answering an empty one.
    const char16_t* hostPath = side.readPath(target);
    const char16_t* path = hostPath ? hostPath : u"";
    if (*path == u'\0') {
        Log(LogLevel::Info, side.tag, side.emptyPathMessage);
        return level;
    }
    if (level == kTrustedLevel) {
        Log(LogLevel::Info, side.tag, u"该项存在 10 不需要用户信任修正,path=%s level=%d.%d", path,
            level, subLevel);
        return level;
    }
    const TrustAnswer answer =
        QueryTrust(trust, path, TrustQuery{TrustCaller::FileLevel, kMatchUserTrust});
    if (!answer.answered) {
        Log(LogLevel::Error, side.tag, u"isSkipReport 失败，path=%s", answer.path());
        return level;
    }
    Log(LogLevel::Info, side.tag, u"IsCanSkipReport成功，path=%s MatchType=%d", answer.path(),
        answer.matchType);
    if (!answer.Matches(kMatchUserTrust)) {
        return level;
    }
    Log(LogLevel::Info, side.tag, u"文件命中了用户信任，修正等级为10，path=%s ", answer.path());
    return kTrustedLevel;
}

bool GetFileLevel(const TrustServices& trust, const FileSide& side, IRkRuleTarget* target,
                  int32_t* level, int32_t* subLevel) {
    if (!target) {
        return true;  // nothing to read: the caller's pair stays as it was
    }
    const int32_t fileLevel = side.readLevel(target);
    const int32_t fileSubLevel = side.readSubLevel(target);
    const int32_t corrected = UserTrustCorrected(trust, side, target, fileLevel, fileSubLevel);
    if (level) {
        *level = corrected;
    }
    if (subLevel) {
        *subLevel = fileSubLevel;
    }
    return true;
}

}  // namespace

bool LevelResolver::GetSrcLevel(IRkRuleTarget* target, int32_t* level, int32_t* subLevel) const {
    return GetFileLevel(m_trust, kSource, target, level, subLevel);
}

bool LevelResolver::GetDstLevel(IRkRuleTarget* target, int32_t* level, int32_t* subLevel) const {
    return GetFileLevel(m_trust, kDestination, target, level, subLevel);
}

}  // namespace tierlock
