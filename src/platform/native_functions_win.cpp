#include <windows.h>

#include "platform/native_functions.h"

namespace tierlock::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

const wchar_t* AsWindowsText(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

template <class Fn>
Fn NtdllFunction(const char* name) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)))
                 : nullptr;
}

}  // namespace

NtStatus LastNtStatus() {
    using RtlGetLastNtStatusFn = NTSTATUS(NTAPI*)();
    static const auto get = NtdllFunction<RtlGetLastNtStatusFn>("RtlGetLastNtStatus");
    return get ? static_cast<NtStatus>(get()) : kStatusUnsuccessful;
}

namespace os {

void* ModuleHandle(const char16_t* name) {
    return GetModuleHandleW(AsWindowsText(name));
}

void* ProcAddress(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

NtStatus ReadMemory(void* process, uint64_t address, void* buffer, uint64_t size,
                    uint64_t* bytesRead) {
    if (address > UINTPTR_MAX || size > SIZE_MAX) {
        return kStatusInvalidParameter;
    }
    SIZE_T read = 0;
    const BOOL ok =
        ReadProcessMemory(process, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)),
                          buffer, static_cast<SIZE_T>(size), &read);
    if (bytesRead) {
        *bytesRead = read;
    }
    return ok ? kStatusSuccess : LastNtStatus();
}

NtStatus ThreadContext(void* thread, void* context) {
    return ::GetThreadContext(thread, static_cast<CONTEXT*>(context)) ? kStatusSuccess
                                                                      : LastNtStatus();
}

uint32_t DosDevice(const char16_t* device, char16_t* target, uint32_t size) {
    return QueryDosDeviceW(AsWindowsText(device), reinterpret_cast<wchar_t*>(target), size);
}

void* CommitBlock(size_t size) {
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void ReleaseBlock(void* block) {
    if (block) {
        VirtualFree(block, 0, MEM_RELEASE);
    }
}

void SetLastNtStatus(NtStatus status) {
    // Sets the last error to the matching Windows error code as well.
    using SetStatusFn = void(NTAPI*)(NTSTATUS);
    static const auto set =
        NtdllFunction<SetStatusFn>("RtlSetLastWin32ErrorAndNtStatusFromNtStatus");
    if (set) {
        set(static_cast<NTSTATUS>(status));
    }
}

void SetLastErrorCode(uint32_t error) {
    ::SetLastError(error);
}

}  // namespace os
}  // namespace tierlock::platform
