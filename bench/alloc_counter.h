// Counts the heap allocations of the benchmark process: every global operator new, and every
// block the bundles take (objects, and values such as the report blocks), so that a benchmark
// can report them per iteration.
#pragma once

#include <cstdint>

namespace bench {

struct AllocationCounts {
    uint64_t heap = 0;          // global operator new, any form
    uint64_t bundleObject = 0;  // bundle and scan item objects
    uint64_t bundleValue = 0;   // values stored in them, the report blocks among them
};

// Counts so far; take one before and one after a loop and subtract.
AllocationCounts CurrentAllocations();

// Routes bundle memory through the counters (malloc and free as in production).
void CountBundleAllocations();

}  // namespace bench
