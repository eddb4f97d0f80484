#include "testsupport/counting_memory.h"

#include <cstdlib>

namespace testsupport {

void BundleCounts::Reset() {
    objectsMade = objectsDestroyed = valuesMade = 0;
    valuesLive = 0;
    objectBudget = std::numeric_limits<size_t>::max();
    failValues = false;
}

BundleCounts& Bundles() {
    static BundleCounts counts;
    return counts;
}

const tierlock::BundleMemory& CountingMemory() {
    static const tierlock::BundleMemory memory{
        [](tierlock::MemoryKind kind, size_t size) -> void* {
            BundleCounts& counts = Bundles();
            if (kind == tierlock::MemoryKind::Object) {
                if (counts.objectsMade.load(std::memory_order_relaxed) >= counts.objectBudget) {
                    return nullptr;
                }
                counts.objectsMade.fetch_add(1, std::memory_order_relaxed);
            } else {
                if (counts.failValues) {
                    return nullptr;
                }
                counts.valuesMade.fetch_add(1, std::memory_order_relaxed);
                counts.valuesLive.fetch_add(1, std::memory_order_relaxed);
            }
            return std::malloc(size);
        },
        [](tierlock::MemoryKind kind, void* block) {
            BundleCounts& counts = Bundles();
            if (kind == tierlock::MemoryKind::Object) {
                counts.objectsDestroyed.fetch_add(1, std::memory_order_relaxed);
            } else {
                counts.valuesLive.fetch_sub(1, std::memory_order_relaxed);
            }
            std::free(block);
        }};
    return memory;
}

}  // namespace testsupport
