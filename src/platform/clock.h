#pragma once

#include <cstdint>

namespace tierlock::platform {

// The current calendar time in whole seconds since 1970-01-01 UTC.
uint64_t CurrentUnixSeconds();

}  // namespace tierlock::platform
