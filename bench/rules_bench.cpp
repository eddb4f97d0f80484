// Candidate selection through the rule set's index beside a walk over every rule, at 10,
// 1,000 and 100,000 rules (the indexed cost should stay flat), and the parse of a
// 10,000-rule configuration beside RapidJSON's own parse of the same text. The main program
// prints the ratios of each pair at the end.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "engine/candidate_rules.h"
#include "generated_config.h"
#include "rules/rule_set.h"

namespace {

struct Event {
    uint32_t eventClass;
    uint32_t ruleId;
};

// Rules over three event classes, each naming three host rule ids out of a range that grows
// with the rule count, so that an event has a handful of candidates at every size.
tierlock::RuleSet MakeRuleSet(size_t ruleCount) {
    std::mt19937 random(7);
    const uint32_t idRange = static_cast<uint32_t>(ruleCount < 30 ? 10 : ruleCount / 3);
    tierlock::MatchModeItem item;
    item.id = 1;
    item.popwnd = "1";
    item.src_level = {{70, 0, 65535}};
    tierlock::MatchRules rules(ruleCount);
    for (size_t i = 0; i < ruleCount; ++i) {
        rules[i].id = static_cast<uint32_t>(i);
        rules[i].type = 1 + random() % 3;
        rules[i].mode_id = 1;
        for (int n = 0; n < 3; ++n) {
            rules[i].ruleid.insert(1 + random() % idRange);
        }
    }
    return tierlock::RuleSet(std::move(rules), {{1, {item}}});
}

std::vector<Event> MakeEvents(size_t ruleCount) {
    std::mt19937 random(11);
    const uint32_t idRange = static_cast<uint32_t>(ruleCount < 30 ? 10 : ruleCount / 3);
    std::vector<Event> events(256);
    for (Event& event : events) {
        event = {1 + static_cast<uint32_t>(random() % 3),
                 1 + static_cast<uint32_t>(random() % idRange)};
    }
    return events;
}

void BM_CandidatesIndexed(benchmark::State& state) {
    const auto ruleSet = MakeRuleSet(static_cast<size_t>(state.range(0)));
    const auto events = MakeEvents(static_cast<size_t>(state.range(0)));
    size_t next = 0;
    for (auto _ : state) {
        const Event& event = events[next++ % events.size()];
        benchmark::DoNotOptimize(
            tierlock::GetCandidateRules(ruleSet, event.eventClass, event.ruleId));
    }
}
BENCHMARK(BM_CandidatesIndexed)->Arg(10)->Arg(1000)->Arg(100000);

// The walk the index replaced: class first, then the id set, for every rule.
void BM_CandidatesLinear(benchmark::State& state) {
    const auto ruleSet = MakeRuleSet(static_cast<size_t>(state.range(0)));
    const auto events = MakeEvents(static_cast<size_t>(state.range(0)));
    size_t next = 0;
    for (auto _ : state) {
        const Event& event = events[next++ % events.size()];
        tierlock::CandidateRules candidates;
        for (const tierlock::MatchRule& rule : ruleSet.rules()) {
            if (rule.type == event.eventClass && rule.ruleid.count(event.ruleId) != 0) {
                tierlock::PRINTF_MACTCH_RULE(rule, ruleSet.matchNodes());
                candidates.push_back(&rule);
            }
        }
        benchmark::DoNotOptimize(candidates);
    }
}
BENCHMARK(BM_CandidatesLinear)->Arg(10)->Arg(1000)->Arg(100000);

void BM_RuleSetParse(benchmark::State& state) {
    const std::string text = bench::ManyRulesConfiguration(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        tierlock::ParsedOptions options;
        bool parsed = false;
        auto ruleSet = tierlock::RuleSet::Parse(text, nullptr, options, parsed);
        if (!parsed || ruleSet->rules().size() != static_cast<size_t>(state.range(0))) {
            state.SkipWithError("the configuration did not parse");
            break;
        }
        benchmark::DoNotOptimize(ruleSet);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_RuleSetParse)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_RapidJsonParse(benchmark::State& state) {
    const std::string text = bench::ManyRulesConfiguration(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
        benchmark::DoNotOptimize(document.HasParseError());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_RapidJsonParse)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
