// Building the report blocks: a zero-filled block of a count and fixed-size entries written in
// place, and the fixed text and data fields inside the entries, which are always cut to fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "abi/report_records.h"
#include "hostpath/host_path.h"

namespace tierlock {

// Copies text into a fixed field: at most N - 1 units, never reading the source past that,
// then a terminator; the rest of the field is zero. A null text leaves the field empty.
template <size_t N>
void CopyTextField(char16_t (&field)[N], const char16_t* text) {
    size_t length = 0;
    if (text) {
        while (length < N - 1 && text[length] != u'\0') {
            ++length;
        }
        std::memcpy(field, text, length * sizeof(char16_t));
    }
    std::memset(field + length, 0, (N - length) * sizeof(char16_t));
}

template <size_t N>
void CopyTextField(char16_t (&field)[N], std::u16string_view text) {
    const size_t length = text.size() < N - 1 ? text.size() : N - 1;
    if (length != 0) {  // an empty view may have no data at all, which memcpy must not see
        std::memcpy(field, text.data(), length * sizeof(char16_t));
    }
    std::memset(field + length, 0, (N - length) * sizeof(char16_t));
}

// The path's form for the host (see ConvertFilePath) into a fixed field.
template <size_t N>
void CopyConvertedPath(char16_t (&field)[N], const char16_t* path) {
    std::u16string converted;
    CopyTextField(field, ConvertFilePathView(path, converted));
}

// Copies a whole fixed field from a source that holds at least N units: terminators inside it
// travel too (a name pair is "first\0second"). The field's last unit is always 0.
template <size_t N>
void CopyWholeTextField(char16_t (&field)[N], const char16_t* source) {
    std::memcpy(field, source, (N - 1) * sizeof(char16_t));
    field[N - 1] = u'\0';
}

// The text a field holds, up to its terminator and never past the field.
template <size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != u'\0') {
        ++length;
    }
    return std::u16string_view(field, length);
}

// Copies min(size, N) bytes of data into a fixed data field; nothing without data.
template <size_t N>
void CopyDataField(uint8_t (&field)[N], const void* data, uint32_t size) {
    if (!data || size == 0) {
        return;
    }
    std::memcpy(field, data, size < N ? size : N);
}

// A block of a 32-bit count followed by count entries, zero-filled, owned by the call that
// builds it and freed when it goes out of scope.
template <class Entry>
class CountedBlock {
  public:
    // No block when count is 0, when the size would not fit a bundle value, or when the memory
    // cannot be had.
    explicit CountedBlock(size_t count) {
        constexpr size_t kLargest = 0x7FFFFFFF;  // SetValue takes a signed 32-bit size
        if (count == 0 || count > (kLargest - sizeof(uint32_t)) / sizeof(Entry)) {
            return;
        }
        size_ = sizeof(uint32_t) + count * sizeof(Entry);
        memory_.reset(static_cast<unsigned char*>(std::calloc(size_, 1)));
        if (!memory_) {
            size_ = 0;
            return;
        }
        count_ = count;
        const uint32_t stored = static_cast<uint32_t>(count);
        std::memcpy(memory_.get(), &stored, sizeof(stored));
    }

    explicit operator bool() const { return memory_ != nullptr; }
    size_t count() const { return count_; }
    const void* data() const { return memory_.get(); }
    int32_t size() const { return static_cast<int32_t>(size_); }

    // calloc'd storage holds the entries as implicitly created objects.
    Entry& entry(size_t k) {
        return *std::launder(
            reinterpret_cast<Entry*>(memory_.get() + sizeof(uint32_t) + k * sizeof(Entry)));
    }

  private:
    struct Free {
        void operator()(unsigned char* block) const { std::free(block); }
    };
    std::unique_ptr<unsigned char[], Free> memory_;
    size_t size_ = 0;
    size_t count_ = 0;
};

using TargetListBlock = CountedBlock<TargetListEntry>;
using ProcessChainBlock = CountedBlock<ProcessChainEntry>;

}  // namespace tierlock
