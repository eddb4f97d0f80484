// `tierlock-host replay --repeat N`: the scenario's events N times over through one plug-in
// object, for a long run's throughput and memory rather than each verdict.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "abi/rule_plug.h"
#include "replay.h"
#include "scenario_host.h"
#include "simhost/plugin_library.h"

namespace tierlock_host {

// The process's memory as the system counts it: resident (the working set) and private.
struct MemoryUse {
    uint64_t resident = 0;
    uint64_t privateBytes = 0;
};
MemoryUse CurrentMemoryUse();

// Replays the events repeat times, writing to out the events per second and the memory at the
// start, after the first 10,000 events and at the end. Answers the references the events'
// own objects left unbalanced (at most a few lines, then a count).
std::vector<std::string> ReplayRepeated(IRkRulePlug& plug, ScenarioHost& host,
                                        const Scenario& scenario, uint64_t repeat,
                                        simhost::BaseComponentModules* components,
                                        const ReplaySink& out);

}  // namespace tierlock_host
