#include "rules/rule_set.h"

namespace tierlock {
RuleSet::RuleSet(MatchRules rules, MatchNodes matchNodes)
    : m_rules(std::move(rules)), m_matchNodes(std::move(matchNodes)) {
    BuildIndex();
}

std::shared_ptr<const RuleSet> RuleSet::Parse(std::string_view text, const RuleSet* previous,
                                              ParsedOptions& options, bool& parsed) {
    MatchRules rules;
    MatchNodes matchNodes = previous ? previous->m_matchNodes : MatchNodes{};
    parsed = ParseOption(text, rules, matchNodes, options);
    return std::make_shared<const RuleSet>(std::move(rules), std::move(matchNodes));
}

std::shared_ptr<const RuleSet> RuleSet::WithoutRules(const RuleSet* previous) {
    return std::make_shared<const RuleSet>(MatchRules{},
                                           previous ? previous->m_matchNodes : MatchNodes{});
}

void RuleSet::BuildIndex() {
    m_candidates.clear();
    for (size_t position = 0; position < m_rules.size(); ++position) {
        const MatchRule& rule = m_rules[position];
        // The set holds each id once, so a rule enters each list at most once, in rule order.
        for (uint32_t ruleId : rule.ruleid) {
            m_candidates[CandidateKey(rule.type, ruleId)].push_back(
                static_cast<uint32_t>(position));
        }
    }
}

std::span<const uint32_t> RuleSet::CandidatePositions(uint32_t eventClass, uint32_t ruleId) const {
    auto found = m_candidates.find(CandidateKey(eventClass, ruleId));
    if (found == m_candidates.end()) {
        return {};
    }
    return found->second;
}

}  // namespace tierlock
