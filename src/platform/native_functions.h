// The Windows functions behind the native readers and the component lookup, one thin call
// each, so that the same code runs on the real functions and on the substitute. Internal to
// this folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/native_status.h"

// System library functions use the standard Windows convention on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#define TL_NTAPI __stdcall
#else
#define TL_NTAPI
#endif

namespace tierlock::platform::os {

// GetModuleHandleW: a module already loaded in the process, or null. Never loads one.
void* ModuleHandle(const char16_t* name);

// GetProcAddress.
void* ProcAddress(void* module, const char* name);

// ReadProcessMemory; the status is 0 on success, else the thread's last NT status.
NtStatus ReadMemory(void* process, uint64_t address, void* buffer, uint64_t size,
                    uint64_t* bytesRead);

// GetThreadContext; the status is 0 on success, else the thread's last NT status.
NtStatus ThreadContext(void* thread, void* context);

// QueryDosDeviceW: characters written, 0 on failure.
uint32_t DosDevice(const char16_t* device, char16_t* target, uint32_t size);

// VirtualAlloc (commit, read-write) and VirtualFree.
void* CommitBlock(size_t size);
void ReleaseBlock(void* block);

void SetLastNtStatus(NtStatus status);
void SetLastErrorCode(uint32_t error);

// IsWow64Process and GetProcessId, resolved at run time with their fall-backs.
bool IsWow64Process(void* process, bool* wow64);
uint32_t GetProcessId(void* process);

}  // namespace tierlock::platform::os
