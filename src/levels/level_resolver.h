// Where each level the matching compares comes from: the source and destination files, the
// parent process and the process chain, each possibly lifted to level 10 by the trust query.
#pragma once

#include <cstdint>
#include <deque>

#include "abi/host.h"
#include "abi/host_ref.h"
#include "platform/inline_vector.h"
#include "procsource/process_source.h"
#include "rules/rule_model.h"
#include "trust/trust_query.h"

namespace tierlock {

// One process of the acting process's chain with its level pair.
struct ChainNode {
    uint32_t pid = 0;
    int32_t level = 0;
    int32_t sublevel = 0;

    bool operator==(const ChainNode&) const = default;
};
// A chain rarely has more than sixteen members; a longer one moves to the heap.
using ChainNodes = InlineVector<ChainNode, 16>;

// A chain process whose level must come from the cloud. The entry owns its scan item.
struct PendingLevel {
    uint32_t pid = 0;
    uint64_t createTime = 0;  // as the host gave it
    HostRef<IRKScanItem> item;
};
// A deque, because an entry that owns a reference is never copied or moved.
using PendingLevels = std::deque<PendingLevel>;

class LevelResolver {
  public:
    // Everything is borrowed for the length of one event.
    LevelResolver(const TrustServices& trust, IRKEngCloudV2* cloud, const ProcessSource& processes)
        : m_trust(trust), m_cloud(cloud), m_processes(processes) {}

    // The file levels the host put on the target; level 10 when the user trusts the file.
    // Null out pointers are not written. Always true.
    bool GetSrcLevel(IRkRuleTarget* target, int32_t* level, int32_t* subLevel) const;
    bool GetDstLevel(IRkRuleTarget* target, int32_t* level, int32_t* subLevel) const;

    // The level of the parent of the acting process pid, lifted to 10 when the user trusts or
    // a trusted signer signed its file. True when a level was obtained or is 10.
    bool GetParentLevel(uint32_t pid, int32_t* level, int32_t* subLevel) const;

    // Fills chain with the levels of pid's process chain: the known ones in chain order, then
    // those the cloud supplied (written back to the host). False when it did not start.
    bool CompletionCloudQueryProcessLevel(uint32_t pid, const MatchModeItem& mode,
                                          ChainNodes& chain) const;

    // One cloud call for every pending item; true when the engine answered true.
    bool CloudQueryItemList(PendingLevels& pending) const;
    // Lifts cloud levels of files with a trusted signer to 10. False without a trust service.
    bool FixLevelBySigner(PendingLevels& pending) const;

  private:
    TrustServices m_trust;
    IRKEngCloudV2* m_cloud;
    const ProcessSource& m_processes;
};

}  // namespace tierlock
