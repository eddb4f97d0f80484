#include "native/native_reader.h"

#include <cstddef>
#include <cstring>

#include "native/call_gate.h"
#include "native/nt_function_table.h"
#include "platform/native_functions.h"
#include "platform/native_records.h"

namespace tierlock::native {

using namespace tierlock::platform;
namespace {

using NtQuerySystemInformationFn = NtStatus(TL_NTAPI*)(uint32_t, void*, uint32_t, uint32_t*);
using NtQueryInformationFn = NtStatus(TL_NTAPI*)(void*, uint32_t, void*, uint32_t, uint32_t*);
using NtQueryVirtualMemoryFn = NtStatus(TL_NTAPI*)(void*, void*, uint32_t, void*, size_t, size_t*);
using NtWow64ReadVirtualMemory64Fn = NtStatus(TL_NTAPI*)(void*, uint64_t, void*, uint64_t,
                                                         uint64_t*);
using Wow64GetThreadContextFn = int32_t(TL_NTAPI*)(void*, void*);

constexpr uint32_t kProcessBasicInformation = 0;
constexpr uint32_t kProcessWow64Information = 26;
constexpr uint32_t kThreadBasicInformation = 0;

// The thread record in the width of this build, and below in its 64-bit layout.
struct ThreadBasicInformation {
    int32_t exitStatus;
    uintptr_t tebBaseAddress;
    uintptr_t clientProcess;
    uintptr_t clientThread;
    uintptr_t affinityMask;
    int32_t priority;
    int32_t basePriority;
};

struct ThreadBasicInformation64 {
    int32_t exitStatus;
    uint32_t padding;
    uint64_t tebBaseAddress;
    uint64_t clientProcess;
    uint64_t clientThread;
    uint64_t affinityMask;
    int32_t priority;
    int32_t basePriority;
};
static_assert(sizeof(ThreadBasicInformation64) == 48);

// In a 64-bit process, the 32-bit block of a WOW64 thread sits two pages after its 64-bit one.
constexpr uint64_t kWow64TebOffset = 0x2000;

template <class Fn>
Fn Lookup(const char* name) {
    return reinterpret_cast<Fn>(NtFunctionTable::Instance().Find(name));
}

uint64_t Pointer64(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

// Handles, pseudo-handles included, keep their value when widened.
uint64_t Handle64(void* handle) {
    return static_cast<uint64_t>(static_cast<int64_t>(reinterpret_cast<intptr_t>(handle)));
}

NtStatus CallNtdll64(const char* name, std::initializer_list<uint64_t> args) {
    const uint64_t function = gate::GetNtdll64Function(name);
    if (!function) {
        return kStatusProcedureNotFound;
    }
    return static_cast<NtStatus>(gate::Call64(function, args));
}

// A failed step leaves its status as the thread's last NT status and answers address 0.
uint64_t Failed(NtStatus status) {
    os::SetLastNtStatus(status);
    return 0;
}

}  // namespace

Native::Native(ProcessHandle process, bool x86OS) : m_process(process) {
    NtFunctionTable::Instance().Fill();
    if (x86OS) {
        m_barrier = {BitnessBarrier::kBoth32, true, true, true, false};
        return;
    }
    bool sourceWow64 = false;
    bool targetWow64 = false;
    os::IsWow64Process(CurrentProcess(), &sourceWow64);
    os::IsWow64Process(process, &targetWow64);
    m_barrier.sourceWow64 = sourceWow64;
    m_barrier.targetWow64 = targetWow64;
    if (sourceWow64 && targetWow64) {
        m_barrier.type = BitnessBarrier::kBoth32;
    } else if (!sourceWow64 && !targetWow64) {
        m_barrier.type = BitnessBarrier::kBoth64;
    } else {
        m_barrier.mismatch = true;
        m_barrier.type =
            sourceWow64 ? BitnessBarrier::kReader32Target64 : BitnessBarrier::kReader64Target32;
    }
}

NtStatus Native::ReadMemory(uint64_t address, void* buffer, uint64_t size, uint64_t* bytesRead) {
    return os::ReadMemory(m_process, address, buffer, size, bytesRead);
}

NtStatus Native::QueryProcessInfo(uint32_t infoClass, void* buffer, uint32_t size,
                                  uint32_t* returnSize) {
    const auto query = Lookup<NtQueryInformationFn>("NtQueryInformationProcess");
    return query ? query(m_process, infoClass, buffer, size, returnSize) : kStatusProcedureNotFound;
}

NtStatus Native::QueryThreadInfo(void* thread, uint32_t infoClass, void* buffer, uint32_t size,
                                 uint32_t* returnSize) {
    const auto query = Lookup<NtQueryInformationFn>("NtQueryInformationThread");
    return query ? query(thread, infoClass, buffer, size, returnSize) : kStatusProcedureNotFound;
}

NtStatus Native::QueryVirtualMemory(uint64_t address, uint32_t infoClass, void* buffer,
                                    uint64_t size, uint64_t* returnSize) {
    const auto query = Lookup<NtQueryVirtualMemoryFn>("NtQueryVirtualMemory");
    if (!query) {
        return kStatusProcedureNotFound;
    }
    if (address > UINTPTR_MAX || size > SIZE_MAX) {
        return kStatusInvalidParameter;
    }
    size_t written = 0;
    const NtStatus status =
        query(m_process, reinterpret_cast<void*>(static_cast<uintptr_t>(address)), infoClass,
              buffer, static_cast<size_t>(size), &written);
    if (returnSize) {
        *returnSize = written;
    }
    return status;
}

NtStatus Native::QuerySystemInfo(uint32_t infoClass, void* buffer, uint32_t size,
                                 uint32_t* returnSize) {
    const auto query = Lookup<NtQuerySystemInformationFn>("NtQuerySystemInformation");
    return query ? query(infoClass, buffer, size, returnSize) : kStatusProcedureNotFound;
}

NtStatus Native::GetThreadContext32(void* thread, void* context) {
    const auto get = Lookup<Wow64GetThreadContextFn>("Wow64GetThreadContext");
    if (!get) {
        return kStatusProcedureNotFound;
    }
    return get(thread, context) ? kStatusSuccess : LastNtStatus();
}

NtStatus Native::GetThreadContext64(void* thread, void* context) {
    return os::ThreadContext(thread, context);
}

uint64_t Native::CopyBlock(uint64_t address, void* copy, uint32_t size) {
    if (!address) {
        return Failed(kStatusUnsuccessful);
    }
    if (!copy) {
        return address;
    }
    uint64_t read = 0;
    const NtStatus status = ReadMemory(address, copy, size, &read);
    if (!NtSuccess(status)) {
        return Failed(status);
    }
    return read == size ? address : Failed(kStatusUnsuccessful);
}

uint64_t Native::GetPEB64(void* copy) {
    ProcessBasicInformation information = {};
    const NtStatus status = Native::QueryProcessInfo(kProcessBasicInformation, &information,
                                                     sizeof(information), nullptr);
    if (!NtSuccess(status)) {
        return Failed(status);
    }
    return CopyBlock(information.pebBaseAddress, copy, kPebCopySize);
}

uint64_t Native::GetPEB32(void* copy) {
    uintptr_t address = 0;
    const NtStatus status =
        Native::QueryProcessInfo(kProcessWow64Information, &address, sizeof(address), nullptr);
    if (!NtSuccess(status)) {
        return Failed(status);
    }
    return CopyBlock(address, copy, kPebCopySize);
}

uint64_t Native::GetTEB64(void* thread, void* copy) {
    ThreadBasicInformation information = {};
    const NtStatus status = Native::QueryThreadInfo(thread, kThreadBasicInformation, &information,
                                                    sizeof(information), nullptr);
    if (!NtSuccess(status)) {
        return Failed(status);
    }
    return CopyBlock(information.tebBaseAddress, copy, kTeb64CopySize);
}

uint64_t Native::GetTEB32(void* thread, void* copy) {
    ThreadBasicInformation information = {};
    const NtStatus status = Native::QueryThreadInfo(thread, kThreadBasicInformation, &information,
                                                    sizeof(information), nullptr);
    if (!NtSuccess(status)) {
        return Failed(status);
    }
    uint64_t address = information.tebBaseAddress;
    if (sizeof(void*) == 8 && !m_barrier.x86OS && m_barrier.targetWow64 && address) {
        address += kWow64TebOffset;
    }
    return CopyBlock(address, copy, kTeb32CopySize);
}

NtStatus NativeWow64::ReadMemory(uint64_t address, void* buffer, uint64_t size,
                                 uint64_t* bytesRead) {
    const auto read = Lookup<NtWow64ReadVirtualMemory64Fn>("NtWow64ReadVirtualMemory64");
    return read ? read(process(), address, buffer, size, bytesRead) : kStatusProcedureNotFound;
}

NtStatus NativeWow64::QueryProcessInfo(uint32_t infoClass, void* buffer, uint32_t size,
                                       uint32_t* returnSize) {
    const auto query = Lookup<NtQueryInformationFn>("NtWow64QueryInformationProcess64");
    return query ? query(process(), infoClass, buffer, size, returnSize) : kStatusProcedureNotFound;
}

NtStatus NativeWow64::QueryThreadInfo(void* thread, uint32_t infoClass, void* buffer, uint32_t size,
                                      uint32_t* returnSize) {
    return CallNtdll64("NtQueryInformationThread", {Handle64(thread), infoClass, Pointer64(buffer),
                                                    size, Pointer64(returnSize)});
}

NtStatus NativeWow64::QueryVirtualMemory(uint64_t address, uint32_t infoClass, void* buffer,
                                         uint64_t size, uint64_t* returnSize) {
    return CallNtdll64("NtQueryVirtualMemory", {Handle64(process()), address, infoClass,
                                                Pointer64(buffer), size, Pointer64(returnSize)});
}

NtStatus NativeWow64::GetThreadContext32(void* thread, void* context) {
    return os::ThreadContext(thread, context);
}

NtStatus NativeWow64::GetThreadContext64(void* thread, void* context) {
    return CallNtdll64("NtGetContextThread", {Handle64(thread), Pointer64(context)});
}

uint64_t NativeWow64::GetPEB64(void* copy) {
    ProcessBasicInformation64 information = {};
    const NtStatus status = NativeWow64::QueryProcessInfo(kProcessBasicInformation, &information,
                                                          sizeof(information), nullptr);
    if (!NtSuccess(status)) {
        return Failed(status);
    }
    return CopyBlock(information.pebBaseAddress, copy, kPebCopySize);
}

uint64_t NativeWow64::GetTEB64(void* thread, void* copy) {
    ThreadBasicInformation64 information = {};
    const NtStatus status = NativeWow64::QueryThreadInfo(
        thread, kThreadBasicInformation, &information, sizeof(information), nullptr);
    if (!NtSuccess(status)) {
        return Failed(status);
    }
    return CopyBlock(information.tebBaseAddress, copy, kTeb64CopySize);
}

NtStatus x86Native::GetThreadContext32(void* thread, void* context) {
    return os::ThreadContext(thread, context);
}

NtStatus x86Native::GetThreadContext64(void*, void*) {
    return kStatusNotSupported;
}

uint64_t x86Native::GetPEB64(void*) {
    return Failed(kStatusNotSupported);
}

uint64_t x86Native::GetPEB32(void* copy) {
    // On a 32-bit system the process's own block is the 32-bit one.
    return Native::GetPEB64(copy);
}

uint64_t x86Native::GetTEB64(void*, void*) {
    return Failed(kStatusNotSupported);
}

NtStatus x86Native::QueryVirtualMemory32(uint32_t address, uint32_t infoClass, void* buffer,
                                         uint32_t size, uint32_t* returnSize) {
    uint64_t written = 0;
    const NtStatus status = Native::QueryVirtualMemory(address, infoClass, buffer, size, &written);
    if (returnSize) {
        *returnSize = static_cast<uint32_t>(written);
    }
    return status;
}

}  // namespace tierlock::native
