// The pop-up request of a matched event: the request bundle with the acting process, the host
// rule, the pop-up text and the report, handed to the event and shown through the framework;
// the user's answer becomes the verdict.
#pragma once

#include <cstdint>
#include <string>

#include "abi/host.h"
#include "abi/records.h"
#include "engine/candidate_rules.h"
#include "report/report.h"

namespace tierlock {

// Returns kVerdictBlock when the user chose to block, kVerdictShown when the pop-up was shown
// otherwise, and kVerdictNone when nothing could be reported. May write the corrected parent
// process id into record.
int32_t RequestPopup(const ReportContext& context, IRkRuleEvent* event, RkEventRecord& record,
                     IRkRuleTarget* target, const CandidateRules& candidates, int32_t index,
                     const std::string& popwnd);

}  // namespace tierlock
