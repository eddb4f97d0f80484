#include <chrono>

#include "platform/clock.h"

namespace tierlock::platform {

uint64_t CurrentUnixSeconds() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
}

}  // namespace tierlock::platform
