// Candidate rules through the rule set's index against a walk over every rule: the same rules,
// in the same order, with the same log lines, on randomised configurations and events.
#include <gtest/gtest.h>

#include <random>

#include "engine/candidate_rules.h"
#include "log/log.h"
#include "simhost/framework.h"

namespace {

using tierlock::CandidateRules;
using tierlock::MatchRule;
using tierlock::RuleSet;

// The walk the index replaces: every rule in order, class first, then the id set.
CandidateRules LinearWalk(const RuleSet& ruleSet, uint32_t eventClass, uint32_t ruleId) {
    CandidateRules candidates;
    for (const MatchRule& rule : ruleSet.rules()) {
        if (rule.type == eventClass && rule.ruleid.count(ruleId) != 0) {
            tierlock::PRINTF_MACTCH_RULE(rule, ruleSet.matchNodes());
            candidates.push_back(&rule);
        }
    }
    return candidates;
}

// Few distinct classes and ids, so that events hit, share and miss rules often; the largest
// unsigned values stand for negative numbers in the document.
RuleSet RandomRuleSet(std::mt19937& random, size_t ruleCount) {
    const uint32_t values[] = {0, 1, 2, 3, 7, 0x7FFFFFFF, 0xFFFFFFFF};
    auto pick = [&] { return values[random() % std::size(values)]; };
    tierlock::MatchNodes nodes;
    for (uint32_t mode = 1; mode <= 3; ++mode) {
        nodes[mode] = {{mode, {}, {}, {}, {}, "p" + std::to_string(mode)}};
    }
    tierlock::MatchRules rules;
    for (size_t i = 0; i < ruleCount; ++i) {
        MatchRule rule;
        rule.id = static_cast<uint32_t>(random() % 50);
        rule.type = pick();
        rule.mode_id = 1 + random() % 3;
        for (size_t n = random() % 4; n > 0; --n) {
            rule.ruleid.insert(pick());
        }
        rules.push_back(rule);
    }
    return RuleSet(std::move(rules), std::move(nodes));
}

TEST(CandidateRules, IndexFindsWhatTheWalkFindsWithTheSameLines) {
    simhost::Framework indexed, walked;
    std::mt19937 random(20261206);
    for (int round = 0; round < 40; ++round) {
        const RuleSet ruleSet = RandomRuleSet(random, random() % 120);
        for (int event = 0; event < 50; ++event) {
            const uint32_t values[] = {0, 1, 2, 3, 5, 7, 0x7FFFFFFF, 0xFFFFFFFF};
            const uint32_t eventClass = values[random() % std::size(values)];
            const uint32_t ruleId = values[random() % std::size(values)];
            tierlock::g_pFrame.Assign(&indexed);
            const CandidateRules found = tierlock::GetCandidateRules(ruleSet, eventClass, ruleId);
            tierlock::g_pFrame.Assign(&walked);
            const CandidateRules expected = LinearWalk(ruleSet, eventClass, ruleId);
            ASSERT_EQ(found, expected) << "round " << round << " event " << event;
        }
    }
    tierlock::g_pFrame.Assign(nullptr);
    EXPECT_EQ(indexed.texts(), walked.texts());
    EXPECT_GT(indexed.texts().size(), 100u);  // the comparison saw many candidates
}

}  // namespace
