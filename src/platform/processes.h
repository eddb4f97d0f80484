// Processes by handle: open one by id, read its times, close it. On Windows these are the
// kernel32 functions; elsewhere a process table set by tests stands in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tierlock::platform {

// A Windows process handle; the current process is a pseudo-handle that is never closed.
using ProcessHandle = void*;

// Open access rights: query information and read memory; limited query information.
inline constexpr uint32_t kProcessQueryAndRead = 0x410;
inline constexpr uint32_t kProcessQueryLimited = 0x1000;

ProcessHandle CurrentProcess();
uint32_t CurrentProcessId();

// OpenProcess: null when the process cannot be opened with that access.
ProcessHandle OpenProcess(uint32_t access, bool inheritHandle, uint32_t pid);

// GetProcessTimes in FILETIME units (100 ns steps since 1601-01-01 UTC); false on failure.
bool GetProcessTimes(ProcessHandle process, uint64_t* creation, uint64_t* exit, uint64_t* kernel,
                     uint64_t* user);

bool CloseHandle(ProcessHandle handle);

// Substitute only (no effect on Windows): the processes of the system.
struct SubstituteProcess {
    uint32_t pid = 0;
    uint32_t parentPid = 0;
    std::u16string imageName;
    uint64_t createTime = 0;  // FILETIME units
    bool openFull = true;     // OpenProcess with kProcessQueryAndRead succeeds
    bool openLimited = true;  // OpenProcess with kProcessQueryLimited succeeds
    bool timesReadable = true;
    bool listed = true;  // appears in the system's process list
};
void SetSubstituteProcesses(std::vector<SubstituteProcess> processes);
// The current process runs under WOW64 (what IsWow64Process answers for it).
void SetSubstituteWow64(bool wow64);
// The next reads process-list reads each find processesPerRead more processes than the call
// before them reported, as when processes start between the size probe and the read.
void SetSubstituteProcessListGrowth(uint32_t reads, uint32_t processesPerRead);
// Handles opened and not yet closed.
uint32_t SubstituteOpenHandles();

}  // namespace tierlock::platform
