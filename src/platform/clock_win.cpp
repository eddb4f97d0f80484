#include <windows.h>

#include "platform/clock.h"

namespace tierlock::platform {

uint64_t CurrentUnixSeconds() {
    // FILETIME counts 100-nanosecond steps since 1601-01-01.
    constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ull;
    constexpr uint64_t kStepsPerSecond = 10000000ull;
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const uint64_t steps = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return steps < kUnixEpochInFileTime ? 0 : (steps - kUnixEpochInFileTime) / kStepsPerSecond;
}

}  // namespace tierlock::platform
