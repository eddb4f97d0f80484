#include "engine/candidate_rules.h"

namespace tierlock {

CandidateRules GetCandidateRules(const RuleSet& ruleSet, uint32_t eventClass, uint32_t ruleId) {
    CandidateRules candidates;
    for (uint32_t position : ruleSet.CandidatePositions(eventClass, ruleId)) {
        const MatchRule& rule = ruleSet.rules()[position];
        PRINTF_MACTCH_RULE(rule, ruleSet.matchNodes());
        candidates.push_back(&rule);
    }
    return candidates;
}

}  // namespace tierlock
