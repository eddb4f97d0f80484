// The process-chain report: the image path and level of every process in the chain of the
// event's process, stored as the "ProcessChain" block of the request bundle. Built from the
// event's process-information cache when it has one, else from the host's process tree.
#pragma once

#include "abi/host.h"
#include "abi/records.h"
#include "report/report_context.h"

namespace tierlock {

// At most this many characters of a path are stored, so an entry's path always ends in zeros.
inline constexpr size_t kChainPathChars = 258;

// The process whose chain is reported: the created process of a process-creation event, else
// the acting process.
uint32_t ChainProcessId(const RkEventRecord& record);

// From the cache; false only when the event's target offers no cache. event is not used.
bool SetChainNodeInfo_V2(IRkRuleTarget* target, const RkEventRecord& record, IRkRuleEvent* event,
                         IRkBundle* bundle);

// From the process tree; event yields the record again for the acting process's creation time.
void SetChainNodeInfo(const ReportContext& context, const RkEventRecord& record,
                      IRkRuleEvent* event, IRkBundle* bundle);

}  // namespace tierlock
