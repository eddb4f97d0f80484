// The process-chain report: the image path and level of every process in the chain of the
// event's process, stored as the "ProcessChain" block of the request bundle, as the process
// source finds the chain.
#pragma once

#include "abi/host.h"
#include "abi/records.h"
#include "procsource/process_source.h"

namespace tierlock {

// At most this many characters of a path are stored, so an entry's path always ends in zeros.
inline constexpr size_t kChainPathChars = 258;

// The process whose chain is reported: the created process of a process-creation event, else
// the acting process.
uint32_t ChainProcessId(const RkEventRecord& record);

// Stores the chain in bundle. When the chain comes from the tree, event yields the record again
// for the acting process's creation time.
void SetChainNodeInfo(const ProcessSource& processes, const RkEventRecord& record,
                      IRkRuleEvent* event, IRkBundle* bundle);

}  // namespace tierlock
