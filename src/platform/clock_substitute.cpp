#include <atomic>
#include <chrono>

#include "platform/clock.h"

namespace tierlock::platform {
namespace {

// All bits set stands for "use the real clock", so one atomic holds the whole setting.
constexpr uint64_t kRealClock = ~uint64_t{0};
std::atomic<uint64_t> g_fixedSeconds{kRealClock};

}  // namespace

uint64_t CurrentUnixSeconds() {
    const uint64_t fixed = g_fixedSeconds.load();
    if (fixed != kRealClock) {
        return fixed;
    }
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
}

void SetSubstituteUnixSeconds(std::optional<uint64_t> seconds) {
    g_fixedSeconds = seconds.value_or(kRealClock);
}

}  // namespace tierlock::platform
