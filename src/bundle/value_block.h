// The bytes of one bundle value. Values of up to eight bytes (every integer) live inside the
// record itself, so the common puts cost no allocation; larger ones get a block of their own
// whose address is kept in the same eight bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace tierlock {

class ValueBlock {
  public:
    ValueBlock() noexcept = default;
    ~ValueBlock() { Reset(); }
    ValueBlock(ValueBlock&& other) noexcept { swap(other); }
    ValueBlock& operator=(ValueBlock&& other) noexcept {
        ValueBlock(static_cast<ValueBlock&&>(other)).swap(*this);
        return *this;
    }
    ValueBlock(const ValueBlock&) = delete;
    ValueBlock& operator=(const ValueBlock&) = delete;

    // Holds a copy of `size` bytes from then on. False when no memory can be had: the content
    // is then unchanged.
    bool Assign(const void* data, uint32_t size) noexcept;

    // Writes size bytes over a value of exactly that size held in place; false, and nothing
    // written, for any other value.
    bool Overwrite(const void* data, uint32_t size) noexcept {
        if (size != size_ || !IsInline()) {
            return false;
        }
        std::memcpy(bytes_, data, size);
        return true;
    }

    const void* data() const noexcept { return IsInline() ? bytes_ : Heap(); }
    uint32_t size() const noexcept { return size_; }

    void swap(ValueBlock& other) noexcept {
        unsigned char mine[kInlineSize];
        std::memcpy(mine, bytes_, kInlineSize);
        std::memcpy(bytes_, other.bytes_, kInlineSize);
        std::memcpy(other.bytes_, mine, kInlineSize);
        const uint32_t size = size_;
        size_ = other.size_;
        other.size_ = size;
    }

  private:
    static constexpr uint32_t kInlineSize = 8;
    static_assert(sizeof(void*) <= kInlineSize);

    bool IsInline() const noexcept { return size_ <= kInlineSize; }
    void* Heap() const noexcept {
        void* block;
        std::memcpy(&block, bytes_, sizeof(block));
        return block;
    }
    void Reset() noexcept;

    uint32_t size_ = 0;
    alignas(8) unsigned char bytes_[kInlineSize] = {};
};

}  // namespace tierlock
