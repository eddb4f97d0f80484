#pragma once

#include <cstdint>
#include <optional>

namespace tierlock::platform {

// The processor architecture field of GetNativeSystemInfo (9 = x64), looked up in the already
// loaded kernel32 without loading anything. Empty when the module or the function is missing.
std::optional<uint16_t> NativeProcessorArchitecture();

inline constexpr uint16_t kArchitectureAmd64 = 9;

}  // namespace tierlock::platform
