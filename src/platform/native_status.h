// NT status values that the native readers answer.
#pragma once

#include <cstdint>

namespace tierlock::platform {

using NtStatus = uint32_t;

inline constexpr NtStatus kStatusSuccess = 0;
inline constexpr NtStatus kStatusUnsuccessful = 0xC0000001;
inline constexpr NtStatus kStatusInfoLengthMismatch = 0xC0000004;
inline constexpr NtStatus kStatusInvalidParameter = 0xC000000D;
inline constexpr NtStatus kStatusNotSupported = 0xC00000BB;
inline constexpr NtStatus kStatusProcedureNotFound = 0xC0000138;

inline bool NtSuccess(NtStatus status) {
    return static_cast<int32_t>(status) >= 0;
}

// The calling thread's last NT status (what a failing reader operation left behind).
NtStatus LastNtStatus();

}  // namespace tierlock::platform
