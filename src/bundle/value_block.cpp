#include "bundle/value_block.h"

#include "bundle/memory.h"

namespace tierlock {

bool ValueBlock::Assign(const void* data, uint32_t size) noexcept {
    if (size <= kInlineSize) {
        Reset();
        std::memcpy(bytes_, data, size);
        size_ = size;
        return true;
    }
    void* block = AllocateBundleMemory(MemoryKind::Value, size);
    if (!block) {
        return false;
    }
    std::memcpy(block, data, size);
    Reset();
    std::memcpy(bytes_, &block, sizeof(block));
    size_ = size;
    return true;
}

void ValueBlock::Reset() noexcept {
    if (!IsInline()) {
        ReleaseBundleMemory(MemoryKind::Value, Heap());
    }
    size_ = 0;
}

}  // namespace tierlock
