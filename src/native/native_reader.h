// Readers through which the plug-in makes native queries about a process: Native for a reader
// of the system's own width, NativeWow64 for a 32-bit reader on a 64-bit system, x86Native on a
// 32-bit system. Every operation answers the NT status of the call it makes; a function that
// the system library lacks answers kStatusProcedureNotFound without anything being called.
#pragma once

#include <cstdint>

#include "platform/native_status.h"
#include "platform/processes.h"

namespace tierlock::native {

using platform::NtStatus;
using platform::ProcessHandle;

// How the reader process and the target process differ.
struct BitnessBarrier {
    enum Type : uint32_t {
        kBoth32 = 0,
        kBoth64 = 1,
        kReader32Target64 = 2,
        kReader64Target32 = 3,
    };
    uint32_t type = kBoth32;
    bool sourceWow64 = false;  // the reader process runs under WOW64
    bool targetWow64 = false;  // the target process runs under WOW64
    bool x86OS = false;        // the system is 32-bit
    bool mismatch = false;     // reader and target differ in bitness
};

// Sizes of the blocks that the PEB and TEB operations copy.
inline constexpr uint32_t kPebCopySize = 592;
inline constexpr uint32_t kTeb64CopySize = 0x1838;
inline constexpr uint32_t kTeb32CopySize = 0x1000;

class Native {
  public:
    // process is borrowed, not closed. On a 32-bit system (x86OS) the barrier is fixed.
    Native(ProcessHandle process, bool x86OS);
    virtual ~Native() = default;
    Native(const Native&) = delete;
    Native& operator=(const Native&) = delete;

    virtual NtStatus ReadMemory(uint64_t address, void* buffer, uint64_t size,
                                uint64_t* bytesRead);  // 1
    virtual NtStatus QueryProcessInfo(uint32_t infoClass, void* buffer, uint32_t size,
                                      uint32_t* returnSize);  // 2
    virtual NtStatus QueryThreadInfo(void* thread, uint32_t infoClass, void* buffer, uint32_t size,
                                     uint32_t* returnSize);  // 3
    virtual NtStatus QueryVirtualMemory(uint64_t address, uint32_t infoClass, void* buffer,
                                        uint64_t size, uint64_t* returnSize);  // 4
    virtual NtStatus QuerySystemInfo(uint32_t infoClass, void* buffer, uint32_t size,
                                     uint32_t* returnSize);            // 5
    virtual NtStatus GetThreadContext32(void* thread, void* context);  // 6
    virtual NtStatus GetThreadContext64(void* thread, void* context);  // 7
    // The address of the process's 64-bit environment block; kPebCopySize bytes of it are
    // copied to copy when copy is not null. 0 on failure, with the last NT status set.
    virtual uint64_t GetPEB64(void* copy);  // 8
    virtual uint64_t GetPEB32(void* copy);  // 9
    // The thread's environment block; kTeb64CopySize or kTeb32CopySize bytes are copied.
    virtual uint64_t GetTEB64(void* thread, void* copy);  // 10
    virtual uint64_t GetTEB32(void* thread, void* copy);  // 11

    ProcessHandle process() const { return m_process; }
    const BitnessBarrier& barrier() const { return m_barrier; }

  protected:
    // The environment block at address, copied whole or not at all.
    uint64_t CopyBlock(uint64_t address, void* copy, uint32_t size);

  private:
    ProcessHandle m_process;
    BitnessBarrier m_barrier;
};

// A 32-bit reader on a 64-bit system: 64-bit structures through the WOW64 functions and the
// call gate into the 64-bit system library.
class NativeWow64 : public Native {
  public:
    using Native::Native;

    NtStatus ReadMemory(uint64_t address, void* buffer, uint64_t size,
                        uint64_t* bytesRead) override;
    NtStatus QueryProcessInfo(uint32_t infoClass, void* buffer, uint32_t size,
                              uint32_t* returnSize) override;
    NtStatus QueryThreadInfo(void* thread, uint32_t infoClass, void* buffer, uint32_t size,
                             uint32_t* returnSize) override;
    NtStatus QueryVirtualMemory(uint64_t address, uint32_t infoClass, void* buffer, uint64_t size,
                                uint64_t* returnSize) override;
    NtStatus GetThreadContext32(void* thread, void* context) override;
    NtStatus GetThreadContext64(void* thread, void* context) override;
    uint64_t GetPEB64(void* copy) override;
    uint64_t GetTEB64(void* thread, void* copy) override;
};

// A reader on a 32-bit system, where nothing is 64-bit.
class x86Native : public Native {
  public:
    explicit x86Native(ProcessHandle process) : Native(process, true) {}

    NtStatus GetThreadContext32(void* thread, void* context) override;
    NtStatus GetThreadContext64(void* thread, void* context) override;
    uint64_t GetPEB64(void* copy) override;
    uint64_t GetPEB32(void* copy) override;
    uint64_t GetTEB64(void* thread, void* copy) override;
    // NtQueryVirtualMemory with 32-bit structures.
    virtual NtStatus QueryVirtualMemory32(uint32_t address, uint32_t infoClass, void* buffer,
                                          uint32_t size, uint32_t* returnSize);  // 12
};

}  // namespace tierlock::native
