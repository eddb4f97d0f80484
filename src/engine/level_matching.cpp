#include "engine/level_matching.h"

#include "log/log.h"

namespace tierlock {
namespace {

constexpr char kTag[] = "Tierlock::CompareEventLevels";

struct LevelPair {
    int32_t level = 0;
    int32_t subLevel = 0;
};

// What one comparison has resolved so far; each level source is asked only when a match mode
// needs it, and the costly ones at most as often as their rules allow.
class EventLevels {
  public:
    EventLevels(const LevelResolver& resolver, const RkEventRecord& record, IRkRuleTarget* target)
        : m_resolver(resolver), m_record(record) {
        m_resolver.GetSrcLevel(target, &m_source.level, &m_source.subLevel);
        m_resolver.GetDstLevel(target, &m_destination.level, &m_destination.subLevel);
    }

    const LevelPair& source() const { return m_source; }
    const LevelPair& destination() const { return m_destination; }

    // Asked again only while it is still unknown (0).
    const LevelPair& Parent() {
        if (m_parent.level == 0) {
            m_resolver.GetParentLevel(m_record.ProcessId, &m_parent.level, &m_parent.subLevel);
            Log(LogLevel::Info, kTag, u"current_pid=%d Parentlevel=%d.%d", m_record.ProcessId,
                m_parent.level, m_parent.subLevel);
        } else {
            Log(LogLevel::Info, kTag, u"pid=%d Parentlevel=%d.%d ", m_record.PPID, m_parent.level,
                m_parent.subLevel);
        }
        return m_parent;
    }

    // The chain for this match mode. Completion is requested until it first succeeds; later
    // match modes reuse that chain instead of finding an empty one.
    const ChainNodes& Chain(const MatchModeItem& mode) {
        if (!m_chainCompleted) {
            ChainNodes chain;
            if (m_resolver.CompletionCloudQueryProcessLevel(m_record.ProcessId, mode, chain)) {
                m_chainCompleted = true;
                m_chain = std::move(chain);
            }
        }
        return m_chainCompleted ? m_chain : m_noChain;
    }

  private:
    const LevelResolver& m_resolver;
    const RkEventRecord& m_record;
    LevelPair m_source;
    LevelPair m_destination;
    LevelPair m_parent;
    bool m_chainCompleted = false;
    ChainNodes m_chain;
    const ChainNodes m_noChain;
};

bool FitsAnyRange(const LevelRangeList& ranges, const LevelPair& pair) {
    return ListFits(ranges, pair.level, pair.subLevel);
}

}  // namespace

bool CompareEventLevels(const RuleSet& ruleSet, const LevelResolver& resolver,
                        const CandidateRules* candidates, const RkEventRecord& record,
                        IRkRuleTarget* target, int32_t& index, std::string& popwnd) {
    if (!candidates || candidates->empty() || !target) {
        Log(LogLevel::Error, kTag, u"Invalid parameter");
        return false;
    }
    EventLevels levels(resolver, record, target);
    const char16_t* srcPath = target->GetSrcPath();
    const char16_t* dstPath = target->GetDstPath();
    Log(LogLevel::Info, kTag, u"srcLevel=%d.%d,dstLevel=%d.%d，srcFile=%s,DstFile=%s",
        levels.source().level, levels.source().subLevel, levels.destination().level,
        levels.destination().subLevel, srcPath ? srcPath : u"", dstPath ? dstPath : u"");

    bool result = false;
    for (size_t position = 0; position < candidates->size(); ++position) {
        const MatchRule& rule = *(*candidates)[position];
        auto node = ruleSet.matchNodes().find(rule.mode_id);
        if (node == ruleSet.matchNodes().end()) {
            Log(LogLevel::Info, kTag, u"m_matchNodes Find mode_id=%d Fail", rule.mode_id);
            continue;
        }
        auto matched = [&](const MatchModeItem& mode) {
            result = true;
            index = static_cast<int32_t>(position);
            popwnd = mode.popwnd;
            PRINTF_MACTCH_RULE(rule, ruleSet.matchNodes());
        };
        for (const MatchModeItem& mode : node->second) {
            if (!FitsAnyRange(mode.src_level, levels.source())) {
                Log(LogLevel::Info, kTag, u"src_level unmatch");
                continue;
            }
            if (!FitsAnyRange(mode.dst_level, levels.destination())) {
                Log(LogLevel::Info, kTag, u"dst_level unmatch");
                continue;
            }
            const ChainNodes& chain = levels.Chain(mode);
            if (mode.parent_process_level.empty()) {
                Log(LogLevel::Info, kTag, u"Target.parent_process_level.size = 0");
            } else if (!FitsAnyRange(mode.parent_process_level, levels.Parent())) {
                Log(LogLevel::Info, kTag, u"parent_process_level unmatch");
                continue;
            }
            if (mode.process_chain_level.empty()) {
                Log(LogLevel::Info, kTag,
                    u"chainlev Matched Success,chainlvl=0,ruleItemid=%d modeid=%d modeIndex=%d",
                    rule.id, rule.mode_id, mode.id);
                matched(mode);
                break;  // an empty chain list ends the rule
            }
            for (const ChainNode& member : chain) {
                Log(LogLevel::Info, kTag, u"Chainlevel=%d.%d pid=%d", member.level, member.sublevel,
                    member.pid);
                if (ListFits(mode.process_chain_level, member.level, member.sublevel)) {
                    Log(LogLevel::Info, kTag,
                        u"chainlev Matched Success,ruleItemid=%d modeid=%d modeIndex=%d", rule.id,
                        rule.mode_id, mode.id);
                    matched(mode);
                    break;
                }
            }
        }
    }
    return result;
}

}  // namespace tierlock
