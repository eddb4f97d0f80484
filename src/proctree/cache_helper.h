// Typed access to the host's process-information cache, found in the event target's bundle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plugin/host.h"

namespace tierlock {

// The host's 544-byte process-information record; the plug-in reads these fields only.
struct RkProcessInfoRecord {
    uint32_t reserved0;        // 0
    uint32_t processId;        // 4
    uint64_t createTime;       // 8
    uint32_t parentProcessId;  // 16
    char16_t imagePath[260];   // 20
    uint32_t reserved540;      // 540
};
static_assert(sizeof(RkProcessInfoRecord) == 544);
static_assert(offsetof(RkProcessInfoRecord, processId) == 4);
static_assert(offsetof(RkProcessInfoRecord, createTime) == 8);
static_assert(offsetof(RkProcessInfoRecord, parentProcessId) == 16);
static_assert(offsetof(RkProcessInfoRecord, imagePath) == 20);

// The key under which the target's bundle carries the cache's address.
inline constexpr const char* kProcessTreeCacheKey = "{BFA77AA6-C0E4-4F12-9EBC-B02AEB09EB61}";

// The event's process-information cache, or null (logged) when the target carries none.
IRKProcessTreeCache* GetRKProcessTreeCache(IRkRuleTarget* target);

// Thin typed access around one cache pointer (no reference taken); a null cache makes every
// operation answer false.
class rkProcessTreeCacheHelper {
  public:
    explicit rkProcessTreeCacheHelper(IRKProcessTreeCache* cache) : m_pCache(cache) {}

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
    // The process chain of pid, in the opposite of the host's order.
    bool GetChainRecords(uint32_t pid, std::vector<RkProcessInfoRecord>& records);

  private:
    IRKProcessTreeCache* m_pCache;
};

}  // namespace tierlock
