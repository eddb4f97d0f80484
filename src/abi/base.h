// What every declaration shared with the host builds on: the calling conventions, the interface
// id layout and the status values.
#pragma once

#include <cstdint>
#include <cstring>

// Every operation that crosses the boundary uses the COM convention on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#define RK_CALL __stdcall
#else
#define RK_CALL
#endif

// A destructor entry in a table is MSVC's scalar deleting destructor: thiscall on 32-bit
// Windows, taking the delete flag. GCC would give a C++ virtual destructor two entries, which
// would shift every later slot, so the entry is declared as an operation of its own.
#if defined(_WIN32) && !defined(_WIN64)
#define RK_DTOR_CALL __thiscall
#else
#define RK_DTOR_CALL
#endif

// Bit 0 of the destructor entry's argument: free the memory after destroying the object.
inline constexpr uint32_t RK_DELETE_FLAG = 1;

// An unused table position: present so that later operations keep their slot numbers.
#define RK_PLACEHOLDER(slot) \
    virtual void RK_CALL Unused##slot() {}

// 16 bytes in the layout of a Windows GUID.
struct RkGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(RkGuid) == 16);

inline bool operator==(const RkGuid& a, const RkGuid& b) {
    return std::memcmp(&a, &b, 16) == 0;
}

// Status values of host-style operations.
inline constexpr int32_t RK_S_OK = 0;
inline constexpr int32_t RK_E_INVALIDARG = static_cast<int32_t>(0x80070057);
inline constexpr int32_t RK_E_OUTOFMEMORY = static_cast<int32_t>(0x8007000e);
inline constexpr int32_t RK_E_NOINTERFACE = static_cast<int32_t>(0x80004002);

// Status values of the bundle operations.
inline constexpr int32_t RK_S_BUFFER_TOO_SMALL = 201;  // the size needed has been written back
inline constexpr int32_t RK_E_NO_VALUE = static_cast<int32_t>(0x80040005);  // absent/other type
inline constexpr int32_t RK_E_NO_KEY = static_cast<int32_t>(0xFFFFFFFF);    // IRkBundle: absent
