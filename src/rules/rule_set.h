// The parsed configuration as one value that never changes once built. Init builds a new one
// and swaps it in whole, so an event thread always sees one complete configuration, and the
// matching can be tested on a value without a plug-in object.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rules/rule_model.h"
#include "rules/rules.h"

namespace tierlock {

class RuleSet {
  public:
    RuleSet() = default;
    RuleSet(MatchRules rules, MatchNodes matchNodes);

    // Parses a configuration document. The match modes of previous that the document does not
    // configure again are kept, as a second Init keeps them; the rules are the document's own.
    // parsed tells whether ParseOption succeeded.
    static std::shared_ptr<const RuleSet> Parse(std::string_view text, const RuleSet* previous,
                                                ParsedOptions& options, bool& parsed);
    // No document: no rules, the previous match modes.
    static std::shared_ptr<const RuleSet> WithoutRules(const RuleSet* previous);

    const MatchRules& rules() const { return m_rules; }
    const MatchNodes& matchNodes() const { return m_matchNodes; }

    // The key of an (event class, host rule id) pair in the candidate index.
    static uint64_t CandidateKey(uint32_t eventClass, uint32_t ruleId) noexcept {
        return (static_cast<uint64_t>(eventClass) << 32) | ruleId;
    }
    // Calls visit with the key of every pair that has at least one candidate rule.
    template <class Visit>
    void ForEachCandidateKey(Visit visit) const {
        for (const auto& entry : m_candidates) {
            visit(entry.first);
        }
    }

    // Positions in rules(), ascending, of the rules whose type is eventClass and whose ruleid
    // set holds ruleId: what a walk over every rule would find, at the cost of one lookup.
    std::span<const uint32_t> CandidatePositions(uint32_t eventClass, uint32_t ruleId) const;

  private:
    void BuildIndex();

    MatchRules m_rules;
    MatchNodes m_matchNodes;
    // Keyed by event class (high half) and host rule id (low half).
    std::unordered_map<uint64_t, std::vector<uint32_t>> m_candidates;
};

}  // namespace tierlock
