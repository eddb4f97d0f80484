// Reads report blocks the way the host does: by byte offset, little-endian, independent of the
// plug-in's structures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "abi/bundle.h"

namespace report_test {

using Bytes = std::vector<uint8_t>;

inline uint32_t U32At(const Bytes& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(bytes.at(offset + i)) << (8 * i);
    }
    return value;
}

// count consecutive values from offset, for fields that lie side by side.
inline std::vector<uint32_t> U32sAt(const Bytes& bytes, size_t offset, size_t count) {
    std::vector<uint32_t> values;
    for (size_t i = 0; i < count; ++i) {
        values.push_back(U32At(bytes, offset + 4 * i));
    }
    return values;
}

inline int32_t I32At(const Bytes& bytes, size_t offset) {
    return static_cast<int32_t>(U32At(bytes, offset));
}

// The UTF-16 text at offset up to its terminator, which must lie inside the field.
inline std::u16string TextAt(const Bytes& bytes, size_t offset, size_t units) {
    std::u16string text;
    for (size_t i = 0; i < units; ++i) {
        const char16_t unit =
            static_cast<char16_t>(bytes.at(offset + 2 * i) | (bytes.at(offset + 2 * i + 1) << 8));
        if (unit == 0) {
            return text;
        }
        text.push_back(unit);
    }
    return u"<no terminator>";
}

inline Bytes BytesAt(const Bytes& bytes, size_t offset, size_t count) {
    return Bytes(bytes.begin() + static_cast<ptrdiff_t>(offset),
                 bytes.begin() + static_cast<ptrdiff_t>(offset + count));
}

inline bool AllZero(const Bytes& bytes, size_t offset, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes.at(offset + i) != 0) {
            return false;
        }
    }
    return true;
}

// A value of the request bundle with its tag; empty bytes when the key is absent.
struct Stored {
    Bytes bytes;
    uint32_t tag = 0;
    bool present = false;
};

inline Stored ReadValue(IRkBundle* bundle, const char16_t* key) {
    Stored stored;
    int32_t size = 0;
    if (bundle->GetValue(key, nullptr, &size, &stored.tag) == RK_E_NO_KEY) {
        return stored;
    }
    stored.bytes.resize(static_cast<size_t>(size));
    stored.present = bundle->GetValue(key, stored.bytes.data(), &size, &stored.tag) == RK_S_OK;
    return stored;
}

}  // namespace report_test
