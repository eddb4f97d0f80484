#include "bundle/memory.h"

#include <atomic>
#include <cstdlib>

#include "bundle/bundle_pool.h"

namespace tierlock {

namespace {

std::atomic<const BundleMemory*> g_bundleMemory{nullptr};

}  // namespace

void SetBundleMemory(const BundleMemory* memory) noexcept {
    ReleasePooledBundles();  // each idle bundle goes back to the allocator that made it
    g_bundleMemory.store(memory, std::memory_order_release);
}

void* AllocateBundleMemory(MemoryKind kind, size_t size) noexcept {
    const BundleMemory* memory = g_bundleMemory.load(std::memory_order_acquire);
    return memory ? memory->allocate(kind, size) : std::malloc(size);
}

void ReleaseBundleMemory(MemoryKind kind, void* block) noexcept {
    if (!block) {
        return;
    }
    const BundleMemory* memory = g_bundleMemory.load(std::memory_order_acquire);
    if (memory) {
        memory->release(kind, block);
    } else {
        std::free(block);
    }
}

}  // namespace tierlock
