// Where bundle objects, their values and the scan item's fields get their memory. Production
// uses malloc/free; tests substitute an allocator to count every block and object and to make
// allocations fail.
#pragma once

#include <cstddef>

#include "platform/owned_block.h"

namespace tierlock {

enum class MemoryKind { Object, Value };

struct BundleMemory {
    void* (*allocate)(MemoryKind kind, size_t size);  // null when no memory can be had
    void (*release)(MemoryKind kind, void* block);
};

// Installs an allocator for every later allocation and release; null restores malloc/free.
// Only while no bundle object or value is alive, since each block returns to its allocator.
void SetBundleMemory(const BundleMemory* memory) noexcept;

[[nodiscard]] void* AllocateBundleMemory(MemoryKind kind, size_t size) noexcept;
void ReleaseBundleMemory(MemoryKind kind, void* block) noexcept;

// The memory of owned blocks that hold values: MakeZeroedBlock<T, BundleValueMemory>.
struct BundleValueMemory {
    static void* Allocate(size_t bytes) noexcept {
        return AllocateBundleMemory(MemoryKind::Value, bytes);
    }
    static void Release(void* block) noexcept { ReleaseBundleMemory(MemoryKind::Value, block); }
};

// A value buffer owned by a bundle or a scan item.
template <class T>
using BundleBuffer = OwnedBlock<T, BundleValueMemory>;

}  // namespace tierlock
