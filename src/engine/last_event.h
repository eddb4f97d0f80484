// The last-stage event handler: the event's guards and short cuts, its candidate rules, the
// level comparison and the pop-up request.
#pragma once

#include <cstdint>

#include "abi/host.h"
#include "abi/records.h"
#include "procsource/process_source.h"
#include "report/report_sources.h"
#include "rules/rule_set.h"

namespace tierlock {

// The host services one event reads, borrowed from the plug-in object for one call: the
// report's (the trust query among them, which level resolution asks too), the cloud engine
// that completes chain levels, and the process tree.
struct EventServices {
    ReportSources report;
    IRKEngCloudV2* cloud = nullptr;
    TreeServices tree;
};

// An event that got past the guards: the host's record and the event's target.
struct AdmittedEvent {
    RkEventRecord* record = nullptr;
    IRkRuleTarget* target = nullptr;

    explicit operator bool() const { return record != nullptr; }
};

// The guards that need no configuration: an event with a record, a target, not yet settled by
// the host, and synchronous. Cheap, and allocates nothing; an empty result means verdict 0.
AdmittedEvent AdmitEvent(IRkRuleEvent* event, IRkRuleEngine* ruleEng);

// An admitted event that no rule covers: logged as needing no processing, verdict 0.
int32_t DeclineEvent();

// The candidate rules, the level comparison and, on a match, the pop-up request. Returns the
// verdict.
int32_t EvaluateEvent(const RuleSet& ruleSet, const EventServices& services, IRkRuleEvent* event,
                      const AdmittedEvent& admitted);

}  // namespace tierlock
