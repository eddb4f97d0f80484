#include "native/call_gate.h"

#include <algorithm>

#include "native/native_reader.h"
#include "native/nt_function_table.h"
#include "native/ntdll64_exports.h"
#include "platform/native_functions.h"
#include "platform/native_records.h"

#if defined(_WIN32) && defined(__i386__)
#define TL_HAS_CALL_GATE 1
#else
#define TL_HAS_CALL_GATE 0
#endif

#if TL_HAS_CALL_GATE
// tierlock_call64_raw(function, stackCount, args): args[0..3] go into rcx, rdx, r8 and r9,
// args[4..4+stackCount) onto the stack; stackCount is even so that the 64-bit stack stays
// 16-byte aligned. The 64-bit part is written as bytes because the assembler works in 32-bit
// mode; far returns switch between the 32-bit (0x23) and 64-bit (0x33) code segments.
extern "C" uint64_t tierlock_call64_raw(uint64_t function, uint32_t stackCount,
                                        const uint64_t* args);
asm(R"(
    .text
    .globl _tierlock_call64_raw
_tierlock_call64_raw:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    andl $-16, %esp
    pushl $0x33
    call 1f
1:  addl $5, (%esp)
    lret
    .byte 0x89,0xE4                          # mov esp, esp (clears the upper half)
    .byte 0x89,0xED                          # mov ebp, ebp
    .byte 0x8B,0x75,0x14                     # mov esi, [rbp+20]: args
    .byte 0x8B,0x4D,0x10                     # mov ecx, [rbp+16]: stackCount
    .byte 0x85,0xC9                          # test ecx, ecx
    .byte 0x74,0x08                          # jz past the loop
    .byte 0xFF,0x74,0xCE,0x18                # push qword [rsi+rcx*8+24]
    .byte 0xFF,0xC9                          # dec ecx
    .byte 0x75,0xF8                          # jnz back to the push
    .byte 0x48,0x8B,0x0E                     # mov rcx, [rsi]
    .byte 0x48,0x8B,0x56,0x08                # mov rdx, [rsi+8]
    .byte 0x4C,0x8B,0x46,0x10                # mov r8, [rsi+16]
    .byte 0x4C,0x8B,0x4E,0x18                # mov r9, [rsi+24]
    .byte 0x48,0x83,0xEC,0x20                # sub rsp, 32: the callee's register home
    .byte 0xFF,0x55,0x08                     # call qword [rbp+8]
    .byte 0x48,0x89,0xC2                     # mov rdx, rax
    .byte 0x48,0xC1,0xEA,0x20                # shr rdx, 32: the result in edx:eax
    .byte 0xE8,0x00,0x00,0x00,0x00           # call next
    .byte 0xC7,0x44,0x24,0x04,0x23,0,0,0     # mov dword [rsp+4], 0x23
    .byte 0x83,0x04,0x24,0x0D                # add dword [rsp], 13: past the retf
    .byte 0xCB                               # retf
    movw %ds, %cx                            # some processors leave a null stack selector
    movw %cx, %ss
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
#endif

namespace tierlock::native::gate {

using namespace tierlock::platform;
namespace {

using NtWow64QueryInformationProcess64Fn = NtStatus(TL_NTAPI*)(void*, uint32_t, void*, uint32_t,
                                                               uint32_t*);
using NtWow64ReadVirtualMemory64Fn = NtStatus(TL_NTAPI*)(void*, uint64_t, void*, uint64_t,
                                                         uint64_t*);

}  // namespace

bool Copy64(uint64_t address, void* buffer, uint32_t size) {
    NtFunctionTable& table = NtFunctionTable::Instance();
    table.Fill();
    const auto read =
        reinterpret_cast<NtWow64ReadVirtualMemory64Fn>(table.Find("NtWow64ReadVirtualMemory64"));
    uint64_t copied = 0;
    return read && NtSuccess(read(CurrentProcess(), address, buffer, size, &copied)) &&
           copied == size;
}

uint64_t GetNtdll64Function(const char* name) {
    if (!TL_HAS_CALL_GATE || !name) {
        return 0;
    }
    NtFunctionTable& table = NtFunctionTable::Instance();
    table.Fill();
    const auto query = reinterpret_cast<NtWow64QueryInformationProcess64Fn>(
        table.Find("NtWow64QueryInformationProcess64"));
    ProcessBasicInformation64 information = {};
    if (!query ||
        !NtSuccess(query(CurrentProcess(), 0, &information, sizeof(information), nullptr))) {
        return 0;
    }
    return FindNtdll64Export(Copy64, information.pebBaseAddress, name);
}

uint64_t Call64(uint64_t function, std::initializer_list<uint64_t> args) {
#if TL_HAS_CALL_GATE
    constexpr size_t kMaxArguments = 12;
    if (!function || args.size() > kMaxArguments) {
        return kStatusInvalidParameter;
    }
    uint64_t slots[kMaxArguments + 1] = {};
    std::copy(args.begin(), args.end(), slots);
    uint32_t stackCount = args.size() > 4 ? static_cast<uint32_t>(args.size() - 4) : 0;
    stackCount += stackCount % 2;  // a zero slot keeps the alignment
    return tierlock_call64_raw(function, stackCount, slots);
#else
    return kStatusProcedureNotFound;
#endif
}

}  // namespace tierlock::native::gate
