// LastProcessEvent on a plug-in object against the simulated host, each case beside its floor:
// the host calls the plug-in cannot avoid for that case, made on the same host objects in the
// same run. The main program prints the ratio of each pair; the plug-in's own time is the
// difference. Every benchmark reports its allocations per event: heap (operator new), and the
// bundle objects and value blocks (the report blocks among them).
//
// Log policy: "InfoRefused" is what a production host does (INFO lines refused, ERROR and CORE
// written); the targets apply to it. "AllAccepted" writes every line. The floor makes the
// same probes and hands the host the same lines, formatted beforehand.
//
// Set TIERLOCK_BENCH_TRACE=1 to print, for each case, the lines and host calls of one event.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "abi/report_records.h"
#include "alloc_counter.h"
#include "engine/event_inputs.h"
#include "generated_config.h"
#include "last_event_floors.h"
#include "last_event_scene.h"
#include "simhost/text.h"

namespace bench {
namespace {

constexpr uint32_t kUnconfiguredRuleId = 5000;
constexpr uint32_t kMatchingRuleId = 101;
constexpr uint32_t kUnmatchedRuleId = 102;

enum class Case { Unconfigured, Unmatched, Matched };

// Scenes live for the whole run: a 100,000-rule configuration is parsed once.
Scene& SceneFor(Case which, size_t ruleCount, LogPolicy policy) {
    static std::map<std::tuple<Case, size_t, LogPolicy>, std::unique_ptr<Scene>> scenes;
    auto& scene = scenes[{which, ruleCount, policy}];
    if (!scene) {
        CountBundleAllocations();
        switch (which) {
            case Case::Unconfigured:
                scene = std::make_unique<Scene>(ManyRulesConfiguration(ruleCount),
                                                kUnconfiguredRuleId, policy, false);
                break;
            case Case::Unmatched:
                scene = std::make_unique<Scene>(kConfiguredConfiguration, kUnmatchedRuleId, policy,
                                                true);
                break;
            case Case::Matched:
                scene = std::make_unique<Scene>(kConfiguredConfiguration, kMatchingRuleId, policy,
                                                true);
                break;
        }
    }
    scene->MakeCurrent();
    scene->Renew();
    return *scene;
}

int32_t ExpectedVerdict(Case which) {
    return which == Case::Matched ? tierlock::kVerdictShown : tierlock::kVerdictNone;
}

// Case/rules/policy, then the calls and the lines of one event.
void Trace(const char* name, Scene& scene, const HostCallCounts& calls) {
    if (!std::getenv("TIERLOCK_BENCH_TRACE")) {
        return;
    }
    std::printf("--- %s: %s\n", name, calls.Describe().c_str());
    for (const simhost::LogRecord& line : scene.Lines()) {
        std::printf("%d %s", line.level, simhost::ToUtf8(line.text).c_str());
    }
}

// The events between two renewals of the host's records. The simulated event keeps every
// request bundle attached to it until it is renewed, where a production host lets go of it
// once the event is done; a reported event is therefore renewed often, so that the run does
// not measure a heap that grows by megabytes.
size_t RenewalInterval(Case which) {
    return which == Case::Matched ? 16 : 2048;
}

// Runs body once per iteration and reports the allocations per iteration, leaving out those of
// the scene's renewals.
template <class Body>
void Measure(benchmark::State& state, Scene& scene, size_t renewEvery, Body body) {
    AllocationCounts renewals{};
    const AllocationCounts start = CurrentAllocations();
    size_t sinceRenewal = 0;
    for (auto _ : state) {
        body();
        if (++sinceRenewal == renewEvery) {
            state.PauseTiming();
            const AllocationCounts before = CurrentAllocations();
            scene.Renew();
            const AllocationCounts after = CurrentAllocations();
            renewals.heap += after.heap - before.heap;
            renewals.bundleObject += after.bundleObject - before.bundleObject;
            renewals.bundleValue += after.bundleValue - before.bundleValue;
            sinceRenewal = 0;
            state.ResumeTiming();
        }
    }
    const AllocationCounts end = CurrentAllocations();
    const auto perEvent = [](uint64_t count) {
        return benchmark::Counter(static_cast<double>(count), benchmark::Counter::kAvgIterations);
    };
    state.counters["heap"] = perEvent(end.heap - start.heap - renewals.heap);
    state.counters["bundleObj"] =
        perEvent(end.bundleObject - start.bundleObject - renewals.bundleObject);
    state.counters["bundleVal"] =
        perEvent(end.bundleValue - start.bundleValue - renewals.bundleValue);
}

// One event through the plug-in: what it costs and what it asks of the host.
HostCallCounts OnePluginEvent(Scene& scene, Case which, benchmark::State& state) {
    const HostCallCounts before = scene.Counts();
    const int32_t verdict = scene.RunEvent();
    if (verdict != ExpectedVerdict(which)) {
        state.SkipWithError("the event did not get the verdict of its case");
    }
    return scene.Counts().Since(before);
}

void RunPlugin(benchmark::State& state, Case which, size_t ruleCount, LogPolicy policy) {
    Scene& scene = SceneFor(which, ruleCount, policy);
    const std::string name = std::to_string(static_cast<int>(which)) + "/" +
                             std::to_string(ruleCount) + "/" +
                             std::to_string(static_cast<int>(policy));
    Trace(name.c_str(), scene, OnePluginEvent(scene, which, state));
    scene.Renew();
    Measure(state, scene, RenewalInterval(which),
            [&] { benchmark::DoNotOptimize(scene.RunEvent()); });
}

// The floor: checks first that it asks the host for what the plug-in asks, then measures it.
void RunFloor(benchmark::State& state, Case which, size_t ruleCount, LogPolicy policy) {
    Scene& scene = SceneFor(which, ruleCount, policy);
    const HostCallCounts pluginCalls = OnePluginEvent(scene, which, state);
    FloorCalls floor(scene, scene.Lines());
    scene.Renew();
    const HostCallCounts before = scene.Counts();
    const auto run = [&] {
        switch (which) {
            case Case::Unconfigured:
                floor.Unconfigured();
                break;
            case Case::Unmatched:
                floor.Unmatched();
                break;
            case Case::Matched:
                floor.Matched();
                break;
        }
    };
    run();
    const HostCallCounts floorCalls = scene.Counts().Since(before);
    if (!(floorCalls == pluginCalls)) {
        const std::string message = "the floor's host calls differ from the plug-in's: plug-in " +
                                    pluginCalls.Describe() + "; floor " + floorCalls.Describe();
        state.SkipWithError(message.c_str());
        return;
    }
    scene.Renew();
    Measure(state, scene, RenewalInterval(which), run);
}

const std::vector<int64_t> kRuleCounts = {10, 1000, 100000};

void BM_LastEventUnconfiguredLogRefused(benchmark::State& state) {
    RunPlugin(state, Case::Unconfigured, static_cast<size_t>(state.range(0)),
              LogPolicy::InfoRefused);
}
void BM_FloorUnconfiguredLogRefused(benchmark::State& state) {
    RunFloor(state, Case::Unconfigured, static_cast<size_t>(state.range(0)),
             LogPolicy::InfoRefused);
}
void BM_LastEventUnconfiguredLogAccepted(benchmark::State& state) {
    RunPlugin(state, Case::Unconfigured, static_cast<size_t>(state.range(0)),
              LogPolicy::AllAccepted);
}
void BM_FloorUnconfiguredLogAccepted(benchmark::State& state) {
    RunFloor(state, Case::Unconfigured, static_cast<size_t>(state.range(0)),
             LogPolicy::AllAccepted);
}
BENCHMARK(BM_LastEventUnconfiguredLogRefused)->ArgsProduct({kRuleCounts});
BENCHMARK(BM_FloorUnconfiguredLogRefused)->ArgsProduct({kRuleCounts});
BENCHMARK(BM_LastEventUnconfiguredLogAccepted)->ArgsProduct({kRuleCounts});
BENCHMARK(BM_FloorUnconfiguredLogAccepted)->ArgsProduct({kRuleCounts});

void BM_LastEventUnmatched(benchmark::State& state) {
    RunPlugin(state, Case::Unmatched, 0, static_cast<LogPolicy>(state.range(0)));
}
void BM_FloorUnmatched(benchmark::State& state) {
    RunFloor(state, Case::Unmatched, 0, static_cast<LogPolicy>(state.range(0)));
}
void BM_LastEventMatched(benchmark::State& state) {
    RunPlugin(state, Case::Matched, 0, static_cast<LogPolicy>(state.range(0)));
}
void BM_FloorMatched(benchmark::State& state) {
    RunFloor(state, Case::Matched, 0, static_cast<LogPolicy>(state.range(0)));
}
// Argument 0: INFO refused (production); 1: every line accepted.
BENCHMARK(BM_LastEventUnmatched)->Arg(0)->Arg(1);
BENCHMARK(BM_FloorUnmatched)->Arg(0)->Arg(1);
BENCHMARK(BM_LastEventMatched)->Arg(0)->Arg(1);
BENCHMARK(BM_FloorMatched)->Arg(0)->Arg(1);

}  // namespace
}  // namespace bench
