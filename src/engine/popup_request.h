// The pop-up of a matched event: the report builds the request, the event carries it to the
// framework's pop-up, and the user's answer becomes the verdict.
#pragma once

#include <cstdint>
#include <string>

#include "abi/host.h"
#include "abi/records.h"
#include "engine/candidate_rules.h"
#include "procsource/process_source.h"
#include "report/report_sources.h"

namespace tierlock {

// Returns kVerdictBlock when the user chose to block, kVerdictShown when the pop-up was shown
// otherwise, and kVerdictNone when nothing could be reported. May write the corrected parent
// process id into record.
int32_t RequestPopup(const ReportSources& sources, const ProcessSource& processes,
                     IRkRuleEvent* event, RkEventRecord& record, IRkRuleTarget* target,
                     const CandidateRules& candidates, int32_t index, const std::string& popwnd);

}  // namespace tierlock
