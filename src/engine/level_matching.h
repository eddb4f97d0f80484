// Level matching: does an event fit a match mode of one of its candidate rules?
#pragma once

#include <cstdint>
#include <string>

#include "abi/host.h"
#include "abi/records.h"
#include "engine/candidate_rules.h"
#include "levels/level_resolver.h"
#include "rules/rule_set.h"

namespace tierlock {

// Tests every match mode of every candidate, resolving levels only as far as needed; the last
// match wins. On a match, index receives the rule's position among the candidates and popwnd
// the matching mode's pop-up setting; otherwise both are left as they were.
bool CompareEventLevels(const RuleSet& ruleSet, const LevelResolver& resolver,
                        const CandidateRules* candidates, const RkEventRecord& record,
                        IRkRuleTarget* target, int32_t& index, std::string& popwnd);

}  // namespace tierlock
