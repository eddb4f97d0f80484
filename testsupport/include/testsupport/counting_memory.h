// The bundle memory the tests, fuzz targets and benchmarks install: malloc and free as in
// production, with every object and value counted, and refusals on request.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "bundle/memory.h"

namespace testsupport {

struct BundleCounts {
    std::atomic<size_t> objectsMade{0};
    std::atomic<size_t> objectsDestroyed{0};
    std::atomic<size_t> valuesMade{0};
    std::atomic<int64_t> valuesLive{0};
    // Objects are refused once this many have been made; values while failValues is set.
    std::atomic<size_t> objectBudget{std::numeric_limits<size_t>::max()};
    std::atomic<bool> failValues{false};

    // Counts back to zero, nothing refused.
    void Reset();
};

// The counts of CountingMemory, one set for the process.
BundleCounts& Bundles();

const tierlock::BundleMemory& CountingMemory();

}  // namespace testsupport
