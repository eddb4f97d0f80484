// The text of one log line: in place up to a size that holds the usual line, on the heap
// beyond it.
#pragma once

#include <cstddef>
#include <cstring>
#include <span>
#include <string>

namespace tierlock {

class LineText {
  public:
    void push_back(char16_t c) {
        if (!m_spilled && m_size < kInline) {
            m_fixed[m_size++] = c;
            return;
        }
        Spill();
        m_heap.push_back(c);
    }
    void append(const char16_t* text) { append(text, std::char_traits<char16_t>::length(text)); }
    void append(const char16_t* text, size_t length) {
        if (length == 0) {
            return;  // an empty view may have no data at all, which memcpy must not see
        }
        if (!m_spilled && length <= kInline - m_size) {
            std::memcpy(m_fixed + m_size, text, length * sizeof(char16_t));
            m_size += length;
            return;
        }
        Spill();
        m_heap.append(text, length);
    }
    size_t size() const { return m_spilled ? m_heap.size() : m_size; }
    const char16_t* data() const { return m_spilled ? m_heap.data() : m_fixed; }
    // Only ever shortens.
    void resize(size_t length) {
        if (m_spilled) {
            m_heap.resize(length);
        } else {
            m_size = length;
        }
    }
    const char16_t* c_str() {
        if (m_spilled) {
            return m_heap.c_str();
        }
        m_fixed[m_size] = u'\0';
        return m_fixed;
    }

  private:
    static constexpr size_t kInline = 512;

    void Spill() {
        if (!m_spilled) {
            m_heap.assign(m_fixed, m_size);
            m_spilled = true;
        }
    }

    char16_t m_fixed[kInline + 1];
    size_t m_size = 0;
    bool m_spilled = false;
    std::u16string m_heap;
};

class FormatArg;

// Appends the message as FormatWideArgs makes it.
void FormatWideInto(LineText& line, const char16_t* format, std::span<const FormatArg> args);

}  // namespace tierlock
