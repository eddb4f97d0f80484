#include <atomic>

#include "platform/substitute.h"
#include "platform/system_info.h"

namespace tierlock::platform {
namespace {

// Encodes "not found" as -1 so that one atomic holds the whole answer.
std::atomic<int32_t> g_architecture {
#if defined(__x86_64__)
    kArchitectureAmd64
#else
    0
#endif
};

}  // namespace

std::optional<uint16_t> NativeProcessorArchitecture() {
    const int32_t value = g_architecture.load();
    if (value < 0) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

void SetSubstituteArchitecture(std::optional<uint16_t> architecture) {
    g_architecture = architecture ? static_cast<int32_t>(*architecture) : -1;
}

}  // namespace tierlock::platform
