// Process information records as the system library fills them: in the width of this build,
// and in the 64-bit layout that the 64-bit system library uses under WOW64; and one entry of
// the system's extended process list.
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

// The layout of one entry of that block, in this build's width.
struct ProcessInformationEntry {
    uint32_t nextEntryOffset;
    uint32_t numberOfThreads;
    uint64_t workingSetPrivateSize;
    uint32_t hardFaultCount;
    uint32_t numberOfThreadsHighWatermark;
    uint64_t cycleTime;
    uint64_t createTime;
    uint64_t userTime;
    uint64_t kernelTime;
    uint16_t imageNameLength;  // bytes, without a terminator
    uint16_t imageNameMaximumLength;
    const char16_t* imageNameBuffer;
    int32_t basePriority;
    uintptr_t uniqueProcessId;
    uintptr_t inheritedFromUniqueProcessId;
};
static_assert(offsetof(ProcessInformationEntry, createTime) == 32);
static_assert(offsetof(ProcessInformationEntry, imageNameLength) == 56);
static_assert(sizeof(void*) != 4 || offsetof(ProcessInformationEntry, imageNameBuffer) == 60);
static_assert(sizeof(void*) != 4 || offsetof(ProcessInformationEntry, uniqueProcessId) == 68);
static_assert(sizeof(void*) != 4 ||
              offsetof(ProcessInformationEntry, inheritedFromUniqueProcessId) == 72);
static_assert(sizeof(void*) != 8 || offsetof(ProcessInformationEntry, uniqueProcessId) == 80);

}  // namespace tierlock::platform
