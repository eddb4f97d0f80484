#pragma once

#include <cstdint>
#include <optional>

namespace tierlock::platform {

// The current calendar time in whole seconds since 1970-01-01 UTC.
uint64_t CurrentUnixSeconds();

// Substitute only (no effect on Windows): a fixed answer for CurrentUnixSeconds, or the real
// clock again when empty.
void SetSubstituteUnixSeconds(std::optional<uint64_t> seconds);

}  // namespace tierlock::platform
