#include "alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "bundle/memory.h"

namespace bench {
namespace {

// Relaxed: the benchmarks run on one thread, and a counter must not cost a fence per call.
std::atomic<uint64_t> g_heap{0};
std::atomic<uint64_t> g_bundleObject{0};
std::atomic<uint64_t> g_bundleValue{0};

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

const tierlock::BundleMemory kCountingBundleMemory{
    [](tierlock::MemoryKind kind, std::size_t size) -> void* {
        (kind == tierlock::MemoryKind::Object ? g_bundleObject : g_bundleValue)
            .fetch_add(1, std::memory_order_relaxed);
        return std::malloc(size);
    },
    [](tierlock::MemoryKind, void* block) { std::free(block); }};

}  // namespace

AllocationCounts CurrentAllocations() {
    return {g_heap.load(std::memory_order_relaxed), g_bundleObject.load(std::memory_order_relaxed),
            g_bundleValue.load(std::memory_order_relaxed)};
}

void CountBundleAllocations() {
    tierlock::SetBundleMemory(&kCountingBundleMemory);
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
