// Where bundle objects, their values and the scan item's fields get their memory. Production
// uses malloc/free; tests substitute an allocator to count every block and object and to make
// allocations fail.
#pragma once

#include <cstddef>
#include <memory>

namespace tierlock {

enum class MemoryKind { Object, Value };

struct BundleMemory {
    void* (*allocate)(MemoryKind kind, size_t size);  // null when no memory can be had
    void (*release)(MemoryKind kind, void* block);
};

// Installs an allocator for every later allocation and release; null restores malloc/free.
// Only while no bundle object or value is alive, since each block returns to its allocator.
void SetBundleMemory(const BundleMemory* memory) noexcept;

void* AllocateBundleMemory(MemoryKind kind, size_t size) noexcept;
void ReleaseBundleMemory(MemoryKind kind, void* block) noexcept;

struct BundleValueDeleter {
    void operator()(void* block) const noexcept { ReleaseBundleMemory(MemoryKind::Value, block); }
};

// A value buffer owned by a bundle or a scan item.
template <class T>
using BundleBuffer = std::unique_ptr<T[], BundleValueDeleter>;

// A zeroed buffer of `count` elements, or null when it cannot be had.
template <class T>
BundleBuffer<T> AllocateZeroed(size_t count) noexcept;

}  // namespace tierlock
