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

}  // namespace tierlock::platform
