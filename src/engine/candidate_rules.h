// The rules an event falls under: its class equals the rule's type and its host rule id is in
// the rule's set, in the order of the configuration.
#pragma once

#include <cstdint>

#include "platform/inline_vector.h"
#include "rules/rule_model.h"
#include "rules/rule_set.h"

namespace tierlock {

// Few rules share a host rule id; more than eight move to the heap.
using CandidateRules = InlineVector<const MatchRule*, 8>;

// Finds the candidates through the rule set's index and dumps each one to the log.
CandidateRules GetCandidateRules(const RuleSet& ruleSet, uint32_t eventClass, uint32_t ruleId);

}  // namespace tierlock
