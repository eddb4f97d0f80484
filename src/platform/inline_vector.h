// A vector whose first N elements live in the object itself, so that the usual few elements
// of an event cost no allocation; more than N move to the heap once.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <type_traits>
#include <vector>

namespace tierlock {

template <class T, size_t N>
class InlineVector {
  public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    InlineVector() = default;
    InlineVector(std::initializer_list<T> values) {
        for (const T& value : values) {
            push_back(value);
        }
    }

    size_t size() const noexcept { return m_spilled ? m_heap.size() : m_count; }
    bool empty() const noexcept { return size() == 0; }
    T* data() noexcept { return m_spilled ? m_heap.data() : m_fixed.data(); }
    const T* data() const noexcept { return m_spilled ? m_heap.data() : m_fixed.data(); }
    T* begin() noexcept { return data(); }
    T* end() noexcept { return data() + size(); }
    const T* begin() const noexcept { return data(); }
    const T* end() const noexcept { return data() + size(); }
    T& operator[](size_t i) noexcept { return data()[i]; }
    const T& operator[](size_t i) const noexcept { return data()[i]; }

    void push_back(const T& value) {
        if (!m_spilled && m_count == N) {
            m_heap.reserve(2 * N);
            m_heap.assign(m_fixed.begin(), m_fixed.end());
            m_spilled = true;
        }
        if (m_spilled) {
            m_heap.push_back(value);
        } else {
            m_fixed[m_count++] = value;
        }
    }

    // value before the element at index (at most size()).
    void insert(size_t index, const T& value) {
        push_back(value);
        std::rotate(begin() + index, end() - 1, end());
    }

    // Exchanges the contents; only elements in use are read.
    void swap(InlineVector& other) noexcept {
        InlineVector& shorter = m_count <= other.m_count ? *this : other;
        InlineVector& longer = m_count <= other.m_count ? other : *this;
        std::swap_ranges(shorter.m_fixed.begin(), shorter.m_fixed.begin() + shorter.m_count,
                         longer.m_fixed.begin());
        std::copy(longer.m_fixed.begin() + shorter.m_count, longer.m_fixed.begin() + longer.m_count,
                  shorter.m_fixed.begin() + shorter.m_count);
        std::swap(m_count, other.m_count);
        std::swap(m_spilled, other.m_spilled);
        m_heap.swap(other.m_heap);
    }

    void clear() noexcept {
        m_heap.clear();
        m_spilled = false;
        m_count = 0;
    }

    // count copies of value, in place when they fit.
    void assign(size_t count, const T& value) {
        clear();
        if (count <= N) {
            std::fill_n(m_fixed.begin(), count, value);
            m_count = count;
        } else {
            m_heap.assign(count, value);
            m_spilled = true;
        }
    }

    // count zero elements of a plain type, written in one pass.
    void assign_zeroed(size_t count) {
        static_assert(std::is_trivially_copyable_v<T>);
        clear();
        if (count <= N) {
            std::memset(m_fixed.data(), 0, count * sizeof(T));
            m_count = count;
        } else {
            m_heap.assign(count, T{});
            m_spilled = true;
        }
    }

    friend bool operator==(const InlineVector& a, const InlineVector& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

  private:
    std::array<T, N> m_fixed;
    size_t m_count = 0;
    bool m_spilled = false;
    std::vector<T> m_heap;
};

}  // namespace tierlock
