// Process information records as the system library fills them: in the width of this build,
// and in the 64-bit layout that the 64-bit system library uses under WOW64.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tierlock::platform {

struct ProcessBasicInformation {
    int32_t exitStatus;
    uintptr_t pebBaseAddress;
    uintptr_t affinityMask;
    int32_t basePriority;
    uintptr_t uniqueProcessId;
    uintptr_t inheritedFromUniqueProcessId;
};
static_assert(sizeof(void*) != 4 || sizeof(ProcessBasicInformation) == 24);

struct ProcessBasicInformation64 {
    int32_t exitStatus;
    uint32_t padding;
    uint64_t pebBaseAddress;
    uint64_t affinityMask;
    int32_t basePriority;
    uint32_t padding2;
    uint64_t uniqueProcessId;
    uint64_t inheritedFromUniqueProcessId;
};
static_assert(sizeof(ProcessBasicInformation64) == 48);
static_assert(offsetof(ProcessBasicInformation64, pebBaseAddress) == 8);

}  // namespace tierlock::platform
