// The candidate filter never turns away a pair the configuration in force has rules for, also
// while a new configuration is being published, and turns away most pairs it has none for.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "rules/candidate_filter.h"
#include "rules/rule_set.h"

namespace {

using Pair = std::pair<uint32_t, uint32_t>;

// Rules over three classes; each rule names two host rule ids from [first, first + span).
std::shared_ptr<const tierlock::RuleSet> Rules(size_t count, uint32_t first, uint32_t span) {
    tierlock::MatchRules rules(count);
    for (size_t i = 0; i < count; ++i) {
        rules[i].id = static_cast<uint32_t>(i);
        rules[i].type = 1 + static_cast<uint32_t>(i % 3);
        rules[i].ruleid = {first + static_cast<uint32_t>(i * 7 % span),
                           first + static_cast<uint32_t>(i * 13 % span)};
    }
    return std::make_shared<const tierlock::RuleSet>(std::move(rules), tierlock::MatchNodes{});
}

std::vector<Pair> PairsOf(const tierlock::RuleSet& ruleSet) {
    std::vector<Pair> pairs;
    for (const tierlock::MatchRule& rule : ruleSet.rules()) {
        for (uint32_t id : rule.ruleid) {
            pairs.emplace_back(rule.type, id);
        }
    }
    return pairs;
}

size_t Passing(const tierlock::CandidateFilter& filter, const std::vector<Pair>& pairs) {
    size_t passing = 0;
    for (const auto& [eventClass, ruleId] : pairs) {
        passing += filter.MayHaveCandidates(eventClass, ruleId) ? 1 : 0;
    }
    return passing;
}

TEST(CandidateFilter, FollowsTheConfigurationInForce) {
    tierlock::CandidateFilter filter;
    EXPECT_FALSE(filter.MayHaveCandidates(1, 101));  // as the empty configuration it stands for

    const auto first = Rules(3000, 1, 5000);
    const auto second = Rules(3000, 100000, 5000);
    const std::vector<Pair> firstPairs = PairsOf(*first);
    const std::vector<Pair> secondPairs = PairsOf(*second);

    filter.Widen(*first);
    filter.Narrow(*first);
    EXPECT_EQ(Passing(filter, firstPairs), firstPairs.size());

    // While the second is published, events may see either configuration.
    filter.Widen(*second);
    EXPECT_EQ(Passing(filter, firstPairs), firstPairs.size());
    EXPECT_EQ(Passing(filter, secondPairs), secondPairs.size());
    filter.Narrow(*second);
    EXPECT_EQ(Passing(filter, secondPairs), secondPairs.size());
    // About 8,000 pairs in 65,536 bits: some of the old pairs share a bit with a new one.
    EXPECT_LT(Passing(filter, firstPairs), firstPairs.size() / 5);

    const auto none = std::make_shared<const tierlock::RuleSet>();
    filter.Widen(*none);
    filter.Narrow(*none);
    EXPECT_EQ(Passing(filter, secondPairs), 0u);
}

}  // namespace
