// The call gate: how a 32-bit process on 64-bit Windows calls into the 64-bit system library
// that WOW64 keeps in the same process, for the queries that the 32-bit library cannot make.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace tierlock::native::gate {

// The 64-bit address of an export of the process's 64-bit ntdll, found by walking the 64-bit
// loader data and the module's export table with 64-bit reads; 0 when there is none (always
// so outside a 32-bit process on 64-bit Windows).
uint64_t GetNtdll64Function(const char* name);

// Switches the thread into 64-bit mode, calls function with the arguments (the first four in
// registers, the rest on the stack), and returns to 32-bit mode with the function's result.
// function must come from GetNtdll64Function; at most 12 arguments.
uint64_t Call64(uint64_t function, std::initializer_list<uint64_t> args);

// Copies size bytes at a 64-bit address of the current process into buffer.
bool Copy64(uint64_t address, void* buffer, uint32_t size);

}  // namespace tierlock::native::gate
