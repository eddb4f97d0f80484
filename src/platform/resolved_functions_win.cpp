// IsWow64Process and GetProcessId are missing on the oldest systems the host supports: both
// are looked up once, kept encoded, and replaced by a fall-back where absent.
#include <windows.h>

#include <cstddef>
#include <mutex>

#include "platform/native_functions.h"

namespace tierlock::platform::os {
namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using GetProcessIdFn = DWORD(WINAPI*)(HANDLE);
using NtQueryInformationProcessFn = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

struct ResolvedFunctions {
    void* isWow64Process = nullptr;  // encoded
    void* getProcessId = nullptr;    // encoded
};

void* Find(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    return handle ? reinterpret_cast<void*>(GetProcAddress(handle, name)) : nullptr;
}

const ResolvedFunctions& Resolved() {
    static std::once_flag once;
    static ResolvedFunctions functions;
    std::call_once(once, [] {
        functions.isWow64Process = EncodePointer(Find(L"kernel32.dll", "IsWow64Process"));
        functions.getProcessId = EncodePointer(Find(L"kernel32.dll", "GetProcessId"));
    });
    return functions;
}

struct ProcessBasicInformation {
    NTSTATUS exitStatus;
    PVOID pebBaseAddress;
    ULONG_PTR affinityMask;
    LONG basePriority;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR inheritedFromUniqueProcessId;
};
static_assert(sizeof(void*) != 4 || sizeof(ProcessBasicInformation) == 24);
static_assert(sizeof(void*) != 4 || offsetof(ProcessBasicInformation, uniqueProcessId) == 16);

}  // namespace

bool IsWow64Process(void* process, bool* wow64) {
    const auto function =
        reinterpret_cast<IsWow64ProcessFn>(DecodePointer(Resolved().isWow64Process));
    if (!function) {
        // A system without the function has no WOW64.
        *wow64 = false;
        return true;
    }
    BOOL flag = FALSE;
    const bool ok = function(process, &flag) != FALSE;
    *wow64 = ok && flag == TRUE;
    return ok;
}

uint32_t GetProcessId(void* process) {
    const auto function = reinterpret_cast<GetProcessIdFn>(DecodePointer(Resolved().getProcessId));
    if (function) {
        return function(process);
    }
    const auto query = reinterpret_cast<NtQueryInformationProcessFn>(
        Find(L"ntdll.dll", "NtQueryInformationProcess"));
    if (!query) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    ProcessBasicInformation information = {};
    const NTSTATUS status = query(process, 0, &information, sizeof(information), nullptr);
    if (status < 0) {
        const auto toDosError =
            reinterpret_cast<RtlNtStatusToDosErrorFn>(Find(L"ntdll.dll", "RtlNtStatusToDosError"));
        SetLastError(toDosError ? toDosError(status) : static_cast<DWORD>(status));
        return 0;
    }
    return static_cast<uint32_t>(information.uniqueProcessId);
}

}  // namespace tierlock::platform::os
