#include "bundle/as_common_bundle.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "abi/boundary.h"
#include "bundle/bundle.h"

namespace tierlock {

namespace {

// Sizes travel as signed 32-bit values; nothing larger is ever stored.
constexpr size_t kMaxValueSize = std::numeric_limits<int32_t>::max();

// Writes one value into another bundle through that bundle's own operations.
void PutInto(IASBundle* destination, const char* key, uint32_t type, const ValueBlock& block) {
    const void* data = block.data();
    switch (type) {
        case RK_BUNDLE_INT: {
            uint32_t value;
            std::memcpy(&value, data, sizeof(value));
            destination->PutInt(key, value);
            break;
        }
        case RK_BUNDLE_INT64: {
            uint64_t value;
            std::memcpy(&value, data, sizeof(value));
            destination->PutInt64(key, static_cast<uint32_t>(value),
                                  static_cast<uint32_t>(value >> 32));
            break;
        }
        case RK_BUNDLE_STRING:
            destination->PutString(key, static_cast<const char*>(data));
            break;
        case RK_BUNDLE_WSTRING:
            destination->PutWString(key, static_cast<const char16_t*>(data));
            break;
        case RK_BUNDLE_BINARY:
            destination->PutBinary(key, data, static_cast<int32_t>(block.size()));
            break;
        default:
            break;
    }
}

}  // namespace

void ASCommonBundle::Changed(bool keySetChanged) noexcept {
    // Only writers holding the lock change these: a plain increment published for the readers.
    m_changes.store(m_changes.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    if (keySetChanged) {
        m_keySetVersion.store(m_keySetVersion.load(std::memory_order_relaxed) + 1,
                              std::memory_order_release);
    }
}

void* RK_DTOR_CALL ASCommonBundle::ScalarDeletingDestructor(uint32_t flags) {
    return CatchReturn(static_cast<void*>(nullptr), [&] { return DestroyByFlags(flags); });
}

int32_t RK_CALL ASCommonBundle::Clear() {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        Store old;  // freed after the lock is dropped
        std::lock_guard lock(m_mutex);
        m_entries.swap(old);
        Changed(true);
        return RK_S_OK;
    });
}

int32_t RK_CALL ASCommonBundle::CopyTo(IASBundle* destination) {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        if (!destination) {
            return RK_E_INVALIDARG;
        }
        // A snapshot taken under our lock is written without it, so the two bundles are never
        // locked together (a copy each way at once cannot deadlock).
        Store::Entries snapshot;
        {
            std::lock_guard lock(m_mutex);
            snapshot.reserve(m_entries.size());
            for (const Store::Entry& entry : m_entries) {
                ValueBlock copy;
                if (copy.Assign(entry.block.data(), entry.block.size())) {
                    snapshot.push_back(Store::Entry{entry.key, entry.kind, std::move(copy)});
                }
            }
        }
        for (const Store::Entry& entry : snapshot) {
            PutInto(destination, entry.key.c_str(), entry.kind, entry.block);
        }
        return RK_S_OK;
    });
}

int32_t ASCommonBundle::Put(const char* key, uint32_t type, const void* data, size_t size) {
    if (!IsKey(key)) {
        return RK_E_INVALIDARG;
    }
    if (size > kMaxValueSize) {
        return RK_E_OUTOFMEMORY;
    }
    ValueBlock block;  // declared before the lock: a replaced value is freed after unlocking
    if (!block.Assign(data, static_cast<uint32_t>(size))) {
        return RK_E_OUTOFMEMORY;
    }
    const std::string_view name(key);
    std::lock_guard lock(m_mutex);
    const size_t before = m_entries.size();
    m_entries.Put(name, type, block);
    Changed(m_entries.size() != before);
    return RK_S_OK;
}

int32_t RK_CALL ASCommonBundle::PutInt(const char* key, uint32_t value) {
    return CatchReturn(RK_E_OUTOFMEMORY,
                       [&] { return Put(key, RK_BUNDLE_INT, &value, sizeof(value)); });
}

int32_t ASCommonBundle::PutNumbers(const Number* numbers, size_t count) noexcept {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        auto same = [](const Number& a, const Number& b) {
            return a.key == b.key && a.type == b.type && a.value == b.value;
        };
        if (m_lastBatchKnown && count == m_lastBatchCount &&
            m_changes.load(std::memory_order_acquire) == m_lastBatchChanges &&
            std::equal(numbers, numbers + count, m_lastBatch, same)) {
            return RK_S_OK;
        }
        m_lastBatchKnown = false;
        // A number's type and bytes as PutInt or PutInt64 stores them; low holds the 32 bits.
        auto stored = [](const Number& number, uint32_t& low) {
            low = static_cast<uint32_t>(number.value);
            return number.type == RK_BUNDLE_INT64
                       ? std::tuple{uint32_t{RK_BUNDLE_INT64},
                                    static_cast<const void*>(&number.value), uint32_t{8}}
                       : std::tuple{uint32_t{RK_BUNDLE_INT}, static_cast<const void*>(&low),
                                    uint32_t{4}};
        };
        const size_t hinted = std::min(count, kBatchHints);
        bool placed[kBatchHints] = {};
        size_t placedCount = 0;
        {
            std::lock_guard lock(m_mutex);
            for (size_t i = 0; i < hinted; ++i) {
                uint32_t low = 0;
                const auto [type, bytes, size] = stored(numbers[i], low);
                placed[i] = IsKey(numbers[i].key) &&
                            m_entries.Overwrite(numbers[i].key, type, bytes, size, m_batchHints[i]);
                placedCount += placed[i] ? 1 : 0;
            }
            if (placedCount != 0) {
                Changed(false);
            }
            if (placedCount == count && count <= kRememberedNumbers) {
                std::copy(numbers, numbers + count, m_lastBatch);
                m_lastBatchCount = count;
                m_lastBatchChanges = m_changes.load(std::memory_order_relaxed);
                m_lastBatchKnown = true;
                return RK_S_OK;
            }
        }
        int32_t status = RK_S_OK;
        for (size_t i = 0; i < count; ++i) {
            if (i < hinted && placed[i]) {
                continue;
            }
            uint32_t low = 0;
            const auto [type, bytes, size] = stored(numbers[i], low);
            const int32_t put = Put(numbers[i].key, type, bytes, size);
            status = status == RK_S_OK ? put : status;
        }
        return status;
    });
}

int32_t RK_CALL ASCommonBundle::PutInt64(const char* key, uint32_t low, uint32_t high) {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        const uint64_t value = (static_cast<uint64_t>(high) << 32) | low;
        return Put(key, RK_BUNDLE_INT64, &value, sizeof(value));
    });
}

int32_t RK_CALL ASCommonBundle::PutString(const char* key, const char* value) {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        if (!value) {
            return RK_E_INVALIDARG;
        }
        return Put(key, RK_BUNDLE_STRING, value, std::strlen(value) + 1);
    });
}

int32_t RK_CALL ASCommonBundle::PutWString(const char* key, const char16_t* value) {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        if (!value) {
            return RK_E_INVALIDARG;
        }
        const size_t units = std::char_traits<char16_t>::length(value) + 1;
        return Put(key, RK_BUNDLE_WSTRING, value, units * sizeof(char16_t));
    });
}

int32_t RK_CALL ASCommonBundle::PutBinary(const char* key, const void* data, int32_t size) {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        if (!data || size < 1) {
            return RK_E_INVALIDARG;
        }
        return Put(key, RK_BUNDLE_BINARY, data, static_cast<size_t>(size));
    });
}

int32_t ASCommonBundle::GetFixed(const char* key, uint32_t type, void* value, uint32_t size) {
    if (!IsKey(key) || !value) {
        return RK_E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    const Store::Entry* entry = m_entries.Find(key);
    if (!entry || entry->kind != type || entry->block.size() != size) {
        return RK_E_NO_VALUE;
    }
    std::memcpy(value, entry->block.data(), size);
    return RK_S_OK;
}

template <class Size>
int32_t ASCommonBundle::GetSized(const char* key, uint32_t type, void* buffer, Size* size) {
    if (!IsKey(key) || !size) {
        return RK_E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    const Store::Entry* entry = m_entries.Find(key);
    if (!entry || entry->kind != type) {
        return RK_E_NO_VALUE;
    }
    const ValueBlock& block = entry->block;
    const Size stored = static_cast<Size>(block.size());
    const bool fits = buffer && *size >= stored;
    *size = stored;
    if (!fits) {
        return RK_S_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, block.data(), block.size());
    return RK_S_OK;
}

int32_t RK_CALL ASCommonBundle::GetInt(const char* key, uint32_t* value) {
    return CatchReturn(RK_E_NO_VALUE,
                       [&] { return GetFixed(key, RK_BUNDLE_INT, value, sizeof(*value)); });
}

int32_t RK_CALL ASCommonBundle::GetInt64(const char* key, uint64_t* value) {
    return CatchReturn(RK_E_NO_VALUE,
                       [&] { return GetFixed(key, RK_BUNDLE_INT64, value, sizeof(*value)); });
}

int32_t RK_CALL ASCommonBundle::GetBinary(const char* key, void* buffer, int32_t* size) {
    return CatchReturn(RK_E_NO_VALUE,
                       [&] { return GetSized(key, RK_BUNDLE_BINARY, buffer, size); });
}

int32_t RK_CALL ASCommonBundle::GetString(const char* key, char* buffer, uint32_t* size) {
    return CatchReturn(RK_E_NO_VALUE,
                       [&] { return GetSized(key, RK_BUNDLE_STRING, buffer, size); });
}

int32_t RK_CALL ASCommonBundle::GetWString(const char* key, char16_t* buffer, uint32_t* size) {
    return CatchReturn(RK_E_NO_VALUE,
                       [&] { return GetSized(key, RK_BUNDLE_WSTRING, buffer, size); });
}

int32_t RK_CALL ASCommonBundle::GetCount(uint32_t* count) {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        if (!count) {
            return RK_E_INVALIDARG;
        }
        std::lock_guard lock(m_mutex);
        *count = static_cast<uint32_t>(m_entries.size());
        return RK_S_OK;
    });
}

int32_t RK_CALL ASCommonBundle::GetKeys(char* buffer, uint32_t* size) {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        if (!size) {
            return RK_E_INVALIDARG;
        }
        std::lock_guard lock(m_mutex);
        uint64_t need = 1;  // the list's final NUL
        for (const Store::Entry& entry : m_entries) {
            if (!entry.key.empty()) {
                need += entry.key.size() + 1;
            }
        }
        if (need > std::numeric_limits<uint32_t>::max()) {
            return RK_E_OUTOFMEMORY;
        }
        const bool fits = buffer && *size >= need;
        *size = static_cast<uint32_t>(need);
        if (!fits) {
            return RK_S_BUFFER_TOO_SMALL;
        }
        char* out = buffer;
        for (const Store::Entry& entry : m_entries) {
            if (!entry.key.empty()) {
                std::memcpy(out, entry.key.data(), entry.key.size());
                out += entry.key.size();
                *out++ = '\0';
            }
        }
        *out = '\0';
        return RK_S_OK;
    });
}

int32_t RK_CALL ASCommonBundle::GetType(const char* key, uint32_t* type) {
    return CatchReturn(RK_E_NO_VALUE, [&] {
        if (!IsKey(key) || !type) {
            return RK_E_INVALIDARG;
        }
        std::lock_guard lock(m_mutex);
        const Store::Entry* entry = m_entries.Find(key);
        if (!entry) {
            return RK_E_NO_VALUE;
        }
        *type = entry->kind;
        return RK_S_OK;
    });
}

int32_t CreateBundle(IASBundle** out) noexcept {
    return Base::CreateAndHandOut<ASCommonBundle>(out);
}

}  // namespace tierlock
