// The one owner of plain memory blocks: a block of T that its holder frees, zero-filled when
// made. Failure to get memory is an empty block, never an exception, so that callers report it
// by their results. Memory says where blocks come from; the C heap unless told otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

namespace tierlock {

struct HeapMemory {
    static void* Allocate(size_t bytes) noexcept { return std::malloc(bytes); }
    static void Release(void* block) noexcept { std::free(block); }
};

template <class Memory>
struct ReleaseWith {
    void operator()(void* block) const noexcept {
        if (block) {
            Memory::Release(block);
        }
    }
};

template <class T, class Memory = HeapMemory>
using OwnedBlock = std::unique_ptr<T[], ReleaseWith<Memory>>;

// A zeroed block of count elements, or an empty one when it cannot be had.
template <class T, class Memory = HeapMemory>
[[nodiscard]] OwnedBlock<T, Memory> MakeZeroedBlock(size_t count) noexcept {
    static_assert(std::is_trivial_v<T>, "blocks hold plain data: nothing is constructed");
    if (count == 0 || count > SIZE_MAX / sizeof(T)) {
        return nullptr;
    }
    void* block = Memory::Allocate(count * sizeof(T));
    if (block) {
        std::memset(block, 0, count * sizeof(T));
    }
    return OwnedBlock<T, Memory>(static_cast<T*>(block));
}

}  // namespace tierlock
