// The pop-up request of a matched event, built in one place: the header keys with the acting
// process, ruleInfo and PopWin, then the target list and the process chain.
#pragma once

#include <cstdint>
#include <string>

#include "abi/host.h"
#include "abi/host_ref.h"
#include "abi/records.h"
#include "procsource/process_source.h"
#include "report/report_sources.h"

namespace tierlock {

// Builds the request bundle into request. False, with nothing to show, when no bundle can be
// made or nothing is to be reported. May write the corrected parent process id into record.
bool BuildPopupRequest(const ReportSources& sources, const ProcessSource& processes,
                       IRkRuleEvent* event, RkEventRecord& record, IRkRuleTarget* target,
                       uint32_t reportType, const std::string& popwnd, HostRef<IRkBundle>& request);

}  // namespace tierlock
