// The substitute's system library functions, answering from the substitute process table.
// Internal to this folder.
#pragma once

#include <cstdint>

#include "platform/native_functions.h"

namespace tierlock::platform::substitute {

NtStatus TL_NTAPI NtQuerySystemInformation(uint32_t infoClass, void* buffer, uint32_t size,
                                           uint32_t* returnSize);
NtStatus TL_NTAPI NtQueryInformationProcess(void* process, uint32_t infoClass, void* buffer,
                                            uint32_t size, uint32_t* returnSize);

}  // namespace tierlock::platform::substitute
