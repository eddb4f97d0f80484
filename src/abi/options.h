// The option keys the host passes to SetEnable.
#pragma once

#include <cstdint>

namespace tierlock {

inline constexpr int32_t RKOPT_TIERLOCK_ENABLE = 16;
inline constexpr int32_t RKOPT_SERCUREAPI_IS_OPEN = 305;

}  // namespace tierlock
