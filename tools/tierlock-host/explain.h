// Why an event got its verdict, read from the lines the plug-in logged while deciding it: a
// one-line reason for a verdict of 0, and every comparison of every candidate rule and match
// mode with its values and result. The plug-in is the judge; the tool only retraces, from the
// rules it dumped and the levels it logged, the order in which it compared them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario.h"

namespace tierlock_host {

struct Explanation {
    std::string reason;              // for a verdict of 0; empty otherwise
    std::vector<std::string> lines;  // the comparisons, one line per match mode
};

Explanation Explain(const std::vector<std::string>& log, const Scenario& scenario,
                    const ScenarioEvent& event, int32_t verdict);

// What the initialisation log says about the configuration, before any event: empty when it
// loaded whole and the plug-in is switched on.
std::vector<std::string> JudgeConfiguration(const std::vector<std::string>& initLog);

}  // namespace tierlock_host
