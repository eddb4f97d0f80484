#include "bundle/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace tierlock {

namespace {

std::atomic<const BundleMemory*> g_bundleMemory{nullptr};

}  // namespace

void SetBundleMemory(const BundleMemory* memory) noexcept {
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

template <class T>
BundleBuffer<T> AllocateZeroed(size_t count) noexcept {
    if (count == 0 || count > SIZE_MAX / sizeof(T)) {
        return nullptr;
    }
    void* block = AllocateBundleMemory(MemoryKind::Value, count * sizeof(T));
    if (block) {
        std::memset(block, 0, count * sizeof(T));
    }
    return BundleBuffer<T>(static_cast<T*>(block));
}

template BundleBuffer<char> AllocateZeroed<char>(size_t);
template BundleBuffer<char16_t> AllocateZeroed<char16_t>(size_t);

}  // namespace tierlock
