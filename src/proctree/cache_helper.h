// Typed access to the host's process-information cache.
#pragma once

#include <cstdint>

#include "abi/host.h"
#include "abi/host_ref.h"
#include "abi/records.h"
#include "platform/inline_vector.h"

namespace tierlock {

// The records of one chain; the usual few stay in place.
using ChainRecords = InlineVector<RkProcessInfoRecord, 8>;

// Thin typed access around one cache pointer; a null cache makes every operation answer false.
class rkProcessTreeCacheHelper {
  public:
    explicit rkProcessTreeCacheHelper(IRKProcessTreeCache* cache) { m_pCache.Assign(cache); }

    bool GetProcessProperty(uint32_t pid, const uint64_t* pCreateTime, const char* name,
                            int32_t& outValue);
    // The 64-bit read, used for "FLVL_TTL".
    bool GetProcessProperty(uint32_t pid, const uint64_t* pCreateTime, const char* name,
                            uint64_t& outValue);
    bool SetProcessProperty(uint32_t pid, const uint64_t* pCreateTime, const char* name,
                            int32_t value);
    // The level pair in force: the fixed pair while its expiry has not passed.
    bool GetProcessLevel(uint32_t pid, const uint64_t* pCreateTime, int32_t& outLevel,
                         int32_t& outSubLevel);
    // The process chain of pid, in the host's order (readers walk it from the end).
    bool GetChainRecords(uint32_t pid, ChainRecords& records);

  private:
    BorrowedRef<IRKProcessTreeCache> m_pCache;
};

}  // namespace tierlock
