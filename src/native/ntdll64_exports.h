// Finds an export of the 64-bit ntdll from the 64-bit loader data of a process, reading its
// memory only through the given reader, so that a damaged or unexpected layout answers 0.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace tierlock::native {

// Copies size bytes at a 64-bit address into buffer; false when they cannot be read.
using Memory64Reader = std::function<bool(uint64_t address, void* buffer, uint32_t size)>;

// The address of the export name of the module "ntdll.dll" in the loader list of the 64-bit
// environment block at peb64; 0 when the module or the name is absent or is a forwarder.
uint64_t FindNtdll64Export(const Memory64Reader& read, uint64_t peb64, std::string_view name);

}  // namespace tierlock::native
