#include "alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "testsupport/counting_memory.h"

namespace bench {
namespace {

// Relaxed: the benchmarks run on one thread, and a counter must not cost a fence per call.
std::atomic<uint64_t> g_heap{0};

void* CountedAllocate(std::size_t size) {
    g_heap.fetch_add(1, std::memory_order_relaxed);
    void* block = std::malloc(size == 0 ? 1 : size);
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}

void* CountedAllocateAligned(std::size_t size, std::align_val_t alignment) {
    g_heap.fetch_add(1, std::memory_order_relaxed);
    const auto align = static_cast<std::size_t>(alignment);
    void* block = std::aligned_alloc(align, (size + align - 1) / align * align);
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace

AllocationCounts CurrentAllocations() {
    const testsupport::BundleCounts& bundles = testsupport::Bundles();
    return {g_heap.load(std::memory_order_relaxed),
            bundles.objectsMade.load(std::memory_order_relaxed),
            bundles.valuesMade.load(std::memory_order_relaxed)};
}

void CountBundleAllocations() {
    tierlock::SetBundleMemory(&testsupport::CountingMemory());
}

}  // namespace bench

// The replaceable global allocation functions, counting. The array, nothrow and sized forms
// all come here so that no allocation escapes the count.
void* operator new(std::size_t size) {
    return bench::CountedAllocate(size);
}
void* operator new[](std::size_t size) {
    return bench::CountedAllocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return bench::CountedAllocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return bench::CountedAllocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return bench::CountedAllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return bench::CountedAllocateAligned(size, alignment);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
