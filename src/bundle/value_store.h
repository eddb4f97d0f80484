// The store under both bundles: values under keys in one array sorted by key, so that a
// bundle's few keys cost one allocation, not one each. Keys are kept folded by Fold (one code
// unit at a time) and a caller's key is folded on the fly while it is compared, so a lookup
// makes no copy. Unlocked: each bundle guards its store with its own mutex.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bundle/value_block.h"
#include "platform/inline_vector.h"

namespace tierlock {

// Keys compared as they are, byte by byte.
struct ExactKeys {
    template <class Char>
    constexpr Char operator()(Char c) const noexcept {
        return c;
    }
};

// A key is a non-empty NUL-terminated string.
template <class Char>
bool IsKey(const Char* key) noexcept {
    return key && key[0] != Char{};
}

// A stored key: in place up to a length that holds the usual parameter and request keys, on
// the heap beyond it.
template <class Char>
class StoreKey {
  public:
    explicit StoreKey(std::basic_string_view<Char> text) : size_(text.size()) {
        if (size_ < kInline) {
            std::copy(text.begin(), text.end(), inline_);
            inline_[size_] = Char{};
        } else {
            heap_.assign(text);
        }
    }

    Char* data() noexcept { return size_ < kInline ? inline_ : heap_.data(); }
    const Char* data() const noexcept { return size_ < kInline ? inline_ : heap_.data(); }
    const Char* c_str() const noexcept { return data(); }
    size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    operator std::basic_string_view<Char>() const noexcept {  // NOLINT: a key reads as text
        return {data(), size_};
    }

  private:
    static constexpr size_t kInline = 32;  // with the terminator

    Char inline_[kInline];
    std::basic_string<Char> heap_;
    size_t size_;
};

// InitialCapacity entries are made room for at the first value.
template <class Char, class Fold, size_t InitialCapacity = 8>
class SortedValueStore {
  public:
    using Key = std::basic_string_view<Char>;

    struct Entry {
        StoreKey<Char> key;  // folded
        uint32_t kind;       // the value's type code or tag
        ValueBlock block;
    };
    using Entries = std::vector<Entry>;

    // Walks the entries in key order.
    class const_iterator {
      public:
        const_iterator(const Entry* entries, const uint32_t* at) noexcept
            : entries_(entries), at_(at) {}
        const Entry& operator*() const noexcept { return entries_[*at_]; }
        const Entry* operator->() const noexcept { return &entries_[*at_]; }
        const_iterator& operator++() noexcept {
            ++at_;
            return *this;
        }
        bool operator==(const const_iterator& other) const noexcept { return at_ == other.at_; }

      private:
        const Entry* entries_;
        const uint32_t* at_;
    };

    const Entry* Find(Key key) const noexcept {
        const uint32_t* at = LowerBound(key);
        return (at != order_.end() && Compare(entries_[*at].key, key) == 0) ? &entries_[*at]
                                                                            : nullptr;
    }

    // Stores kind and block under key. An entry already there takes them over and its old
    // bytes come back in block, to be freed once the bundle's lock is dropped; a new entry is
    // complete before the array changes, so a failure leaves the store as it was.
    void Put(Key key, uint32_t kind, ValueBlock& block) {
        if (entries_.capacity() == 0) {
            entries_.reserve(InitialCapacity);  // nothing to replace yet: the key will be added
        }
        const uint32_t* at = LowerBound(key);
        if (at != order_.end() && Compare(entries_[*at].key, key) == 0) {
            Entry& entry = entries_[*at];
            entry.kind = kind;
            entry.block.swap(block);
            return;
        }
        const size_t position = static_cast<size_t>(at - order_.begin());
        StoreKey<Char> folded(key);
        std::transform(folded.data(), folded.data() + folded.size(), folded.data(), Fold{});
        // Entries stay where they were added; only the order of their indices is kept sorted,
        // so an insert moves a few integers rather than whole entries.
        entries_.push_back(Entry{std::move(folded), kind, std::move(block)});
        try {
            order_.insert(position, static_cast<uint32_t>(entries_.size() - 1));
        } catch (...) {
            block.swap(entries_.back().block);
            entries_.pop_back();
            throw;
        }
    }

    // Writes data over the value under key when that value is of kind and held in place with
    // exactly size bytes; false, and the store unchanged, otherwise.
    // hint is where the key was found last time; it is checked first and kept up to date, so a
    // set refilled key by key in one order finds each key with one comparison.
    bool Overwrite(Key key, uint32_t kind, const void* data, uint32_t size, size_t& hint) noexcept {
        if (hint >= entries_.size() || Compare(entries_[hint].key, key) != 0) {
            const uint32_t* at = LowerBound(key);
            if (at == order_.end() || Compare(entries_[*at].key, key) != 0) {
                return false;
            }
            hint = *at;
        }
        Entry& entry = entries_[hint];
        return entry.kind == kind && entry.block.Overwrite(data, size);
    }

    // Exchanges the contents, so that a bundle can empty its store and free the old entries
    // after unlocking.
    void swap(SortedValueStore& other) noexcept {
        entries_.swap(other.entries_);
        order_.swap(other.order_);
    }

    size_t size() const noexcept { return entries_.size(); }
    const_iterator begin() const noexcept { return {entries_.data(), order_.begin()}; }
    const_iterator end() const noexcept { return {entries_.data(), order_.end()}; }

  private:
    // Orders a stored (folded) key against a caller's key folded on the fly.
    static int Compare(std::basic_string_view<Char> stored, Key key) noexcept {
        if constexpr (std::is_same_v<Fold, ExactKeys>) {
            return stored.compare(key);
        } else {
            const size_t common = std::min(stored.size(), key.size());
            for (size_t i = 0; i < common; ++i) {
                const Char folded = Fold{}(key[i]);
                if (stored[i] != folded) {
                    return stored[i] < folded ? -1 : 1;
                }
            }
            if (stored.size() == key.size()) {
                return 0;
            }
            return stored.size() < key.size() ? -1 : 1;
        }
    }
    const uint32_t* LowerBound(Key key) const noexcept {
        return std::lower_bound(order_.begin(), order_.end(), key, [this](uint32_t index, Key k) {
            return Compare(entries_[index].key, k) < 0;
        });
    }

    Entries entries_;                   // in the order they were added
    InlineVector<uint32_t, 16> order_;  // their indices, sorted by key
};

}  // namespace tierlock
