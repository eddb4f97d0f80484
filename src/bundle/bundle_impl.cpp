#include "bundle/bundle_impl.h"

#include <cstring>
#include <limits>

#include "abi/boundary.h"
#include "bundle/bundle.h"

namespace tierlock {

int32_t RK_CALL CBundleImpl::SetValue(const char16_t* key, const void* data, int32_t size,
                                      uint32_t tag) {
    // A record that cannot be made (no room for its key or its entry) answers RK_E_NO_KEY.
    return CatchReturn(RK_E_NO_KEY, [&] {
        if (!IsKey(key) || !data || size < 1) {
            return RK_E_INVALIDARG;
        }
        // A value without its bytes would be reported as stored: refuse it before any change.
        ValueBlock block;  // declared before the lock: a replaced value is freed after unlocking
        if (!block.Assign(data, static_cast<uint32_t>(size))) {
            return RK_E_OUTOFMEMORY;
        }
        const std::u16string_view name(key);
        std::lock_guard lock(m_mutex);
        m_records.Put(name, tag, block);
        return RK_S_OK;
    });
}

int32_t RK_CALL CBundleImpl::GetValue(const char16_t* key, void* buffer, int32_t* size,
                                      uint32_t* tag) {
    return CatchReturn(RK_E_NO_KEY, [&] {
        if (!IsKey(key) || !size || !tag) {
            return RK_E_INVALIDARG;
        }
        std::lock_guard lock(m_mutex);
        const Store::Entry* record = m_records.Find(key);
        if (!record) {
            return RK_E_NO_KEY;
        }
        const ValueBlock& block = record->block;
        const auto stored = static_cast<int32_t>(block.size());
        const bool fits = buffer && *size >= stored;
        *size = stored;
        *tag = record->kind;
        if (!fits) {
            return RK_E_OUTOFMEMORY;
        }
        std::memcpy(buffer, block.data(), block.size());
        return RK_S_OK;
    });
}

int32_t RK_CALL CBundleImpl::GetNames(char16_t* buffer, int32_t* size) {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        if (!size) {
            return RK_E_INVALIDARG;
        }
        std::lock_guard lock(m_mutex);
        uint64_t need = 0;  // each key with its NUL, and no extra NUL after the last
        for (const Store::Entry& record : m_records) {
            if (!record.key.empty()) {
                need += (record.key.size() + 1) * sizeof(char16_t);
            }
        }
        if (need > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
            return RK_E_OUTOFMEMORY;
        }
        const auto needed = static_cast<int32_t>(need);
        const bool fits = buffer && *size >= needed;
        *size = needed;
        if (!fits) {
            return RK_E_OUTOFMEMORY;
        }
        char16_t* out = buffer;
        for (const Store::Entry& record : m_records) {
            if (!record.key.empty()) {
                std::memcpy(out, record.key.data(), record.key.size() * sizeof(char16_t));
                out += record.key.size();
                *out++ = u'\0';
            }
        }
        return RK_S_OK;
    });
}

int32_t CreateRkBundle(IRkBundle** out) noexcept {
    return Base::CreateAndHandOut<CBundleImpl>(out);
}

}  // namespace tierlock
