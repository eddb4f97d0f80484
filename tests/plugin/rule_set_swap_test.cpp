// Init swaps in a whole new rule set: an event holding the old one keeps a complete value,
// and a second Init keeps the match modes it does not configure again.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "abi/report_records.h"
#include "log/log.h"
#include "plugin/rule_set_holder.h"
#include "plugin/tierlock.h"
#include "simhost/framework.h"
#include "simhost/rule_objects.h"
#include "simhost/text.h"

namespace {

TEST(RuleSetSwap, SecondInitReplacesRulesAndKeepsOtherModes) {
    simhost::Framework framework;
    {
        tierlock::Tierlock plug;
        const std::string first =
            R"({"matchmode":[{"modeid":1,"mode":[{"id":1,"srclvl":"70","popwnd":"a"}]}],
                "rules":[{"id":1,"eventtype":3,"ruleid":"5","modeid":1}]})";
        ASSERT_TRUE(plug.Init(&framework, first.data(), static_cast<int32_t>(first.size())));
        const auto held = plug.ruleSet();  // as an event in flight holds it
        plug.UnInit();
        const std::string second =
            R"({"matchmode":[{"modeid":2,"mode":[{"id":1,"srclvl":"10","popwnd":"b"}]}],
                "rules":[{"id":7,"eventtype":3,"ruleid":"5","modeid":1}]})";
        ASSERT_TRUE(plug.Init(&framework, second.data(), static_cast<int32_t>(second.size())));
        const auto now = plug.ruleSet();
        ASSERT_EQ(now->rules().size(), 1u);
        EXPECT_EQ(now->rules()[0].id, 7u);
        EXPECT_EQ(now->matchNodes().size(), 2u);  // mode 1 kept beside the new mode 2
        EXPECT_EQ(now->CandidatePositions(3, 5).size(), 1u);
        ASSERT_EQ(held->rules().size(), 1u);
        EXPECT_EQ(held->rules()[0].id, 1u);
        EXPECT_EQ(held->matchNodes().count(2), 0u);

        // No configuration: no rules, the modes stay.
        plug.UnInit();
        ASSERT_TRUE(plug.Init(&framework, nullptr, 0));
        EXPECT_TRUE(plug.ruleSet()->rules().empty());
        EXPECT_EQ(plug.ruleSet()->matchNodes().size(), 2u);
    }
    tierlock::g_pFrame.Assign(nullptr);
}

// Events are turned away early only for pairs the configuration in force has no rule for: a
// second Init lets the new rules' events through and turns the old ones away.
TEST(RuleSetSwap, EventsFollowTheConfigurationInForce) {
    simhost::Framework framework;
    simhost::RuleTarget target;
    simhost::RuleEngine engine(&target);
    // True when the event reached its candidate rules.
    auto evaluated = [&](tierlock::Tierlock& plug, int32_t eventClass, uint32_t ruleId) {
        framework.ClearLog();
        simhost::RuleEvent event;
        event.record.Class = eventClass;
        event.record.syncMode = 2;
        event.record.uRuleId = ruleId;
        EXPECT_EQ(plug.LastProcessEvent(&event, &engine), tierlock::kVerdictNone);
        const auto texts = framework.texts();
        return std::any_of(texts.begin(), texts.end(), [](const std::u16string& text) {
            return text.find(u"[Tierlock::PRINTF_MACTCH_RULE]") != std::u16string::npos;
        });
    };
    {
        tierlock::Tierlock plug;
        const std::string first =
            R"({"enable":1,"matchmode":[{"modeid":1,"mode":[{"id":1,"srclvl":"70","popwnd":"a"}]}],
                "rules":[{"id":1,"eventtype":3,"ruleid":"5,6","modeid":1}]})";
        ASSERT_TRUE(plug.Init(&framework, first.data(), static_cast<int32_t>(first.size())));
        plug.SetEnable(tierlock::RKOPT_TIERLOCK_ENABLE, true);
        EXPECT_EQ((std::vector{evaluated(plug, 3, 5), evaluated(plug, 3, 6), evaluated(plug, 3, 7),
                               evaluated(plug, 1, 5)}),
                  (std::vector{true, true, false, false}));

        plug.UnInit();
        const std::string second =
            R"({"matchmode":[],"rules":[{"id":2,"eventtype":1,"ruleid":"5","modeid":1}]})";
        ASSERT_TRUE(plug.Init(&framework, second.data(), static_cast<int32_t>(second.size())));
        EXPECT_EQ(
            (std::vector{evaluated(plug, 1, 5), evaluated(plug, 3, 5), evaluated(plug, 3, 6)}),
            (std::vector{true, false, false}));

        plug.UnInit();
        ASSERT_TRUE(plug.Init(&framework, nullptr, 0));
        EXPECT_FALSE(evaluated(plug, 1, 5));
    }
    tierlock::g_pFrame.Assign(nullptr);
}

// Events on three threads while Init replaces the rules 200 times: ThreadSanitizer checks the
// hand-over, AddressSanitizer that no replaced set is freed while an event or a pin reads it.
TEST(RuleSetSwap, InitWhileEventsRun) {
    simhost::Framework framework;
    const std::string configs[2] = {
        R"({"enable":1,"matchmode":[{"modeid":1,"mode":[{"id":1,"srclvl":"90","popwnd":"a"}]}],
            "rules":[{"id":1,"eventtype":3,"ruleid":"5","modeid":1}]})",
        R"({"matchmode":[],"rules":[{"id":2,"eventtype":3,"ruleid":"5","modeid":1},
                                    {"id":3,"eventtype":3,"ruleid":"6","modeid":1}]})"};
    {
        tierlock::Tierlock plug;
        auto init = [&](const std::string& config) {
            return plug.Init(&framework, config.data(), static_cast<int32_t>(config.size()));
        };
        ASSERT_TRUE(init(configs[0]));
        plug.SetEnable(tierlock::RKOPT_TIERLOCK_ENABLE, true);
        std::atomic<bool> stop{false};
        std::atomic<int> odd{0};
        std::vector<std::thread> threads;
        for (uint32_t t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                simhost::RuleTarget target;
                simhost::RuleEngine engine(&target);
                while (!stop) {
                    simhost::RuleEvent event;
                    event.record.Class = 3;
                    event.record.syncMode = 2;
                    event.record.uRuleId = 5 + t % 2;
                    odd += plug.LastProcessEvent(&event, &engine) != tierlock::kVerdictNone;
                }
            });
        }
        const auto pinned = plug.ruleSet();
        for (int i = 1; i <= 200; ++i) {
            plug.UnInit();
            EXPECT_TRUE(init(configs[i % 2]));
            framework.ClearLog();
        }
        stop = true;
        for (std::thread& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(odd.load(), 0);
        ASSERT_EQ(pinned->rules().size(), 1u);
        EXPECT_EQ(pinned->rules()[0].id, 1u);
        EXPECT_EQ(plug.ruleSet()->rules().size(), 1u);
    }
    tierlock::g_pFrame.Assign(nullptr);
}

// A replaced set goes as soon as no reader holds it: one that readers still hold waits for
// them, the one counted apart because every slot was taken included.
TEST(RuleSetSwap, ReplacedSetsGoOnceNoReaderHoldsThem) {
    tierlock::RuleSetHolder holder;
    auto replaced = [&] {
        auto set = std::make_shared<const tierlock::RuleSet>();
        const std::weak_ptr<const tierlock::RuleSet> watch = set;
        holder.Publish(std::move(set));
        return watch;
    };
    for (const size_t readers : {size_t{1}, size_t{65}}) {
        const auto watch = replaced();
        std::vector<tierlock::RuleSetHolder::Pin> pins;
        pins.reserve(readers);
        for (size_t i = 0; i < readers; ++i) {
            pins.push_back(holder.Read());
        }
        holder.Publish(std::make_shared<const tierlock::RuleSet>());
        EXPECT_FALSE(watch.expired()) << readers;
        pins.clear();
        holder.Reclaim();
        EXPECT_TRUE(watch.expired()) << readers;
    }
}

}  // namespace
