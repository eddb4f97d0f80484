#include "bundle/bundle_impl.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <tuple>

#include "abi/boundary.h"
#include "bundle/bundle.h"

namespace tierlock {

namespace {

// Only A to Z change, as the single-byte tolower of the C locale does.
char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Room for a typical request at the first value.
constexpr size_t kInitialCapacity = 8;

bool IsKey(const char16_t* key) {
    return key && key[0] != u'\0';
}

}  // namespace

int CBundleImpl::CompareFolded(std::u16string_view stored, std::u16string_view key) noexcept {
    const size_t common = std::min(stored.size(), key.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t folded = LowerAscii(key[i]);
        if (stored[i] != folded) {
            return stored[i] < folded ? -1 : 1;
        }
    }
    if (stored.size() == key.size()) {
        return 0;
    }
    return stored.size() < key.size() ? -1 : 1;
}

CBundleImpl::Records::iterator CBundleImpl::LowerBound(std::u16string_view key) {
    return std::lower_bound(m_records.begin(), m_records.end(), key,
                            [](const Record& record, std::u16string_view k) {
                                return CompareFolded(record.key, k) < 0;
                            });
}

bool CBundleImpl::Matches(const Record& record, std::u16string_view key) noexcept {
    return CompareFolded(record.key, key) == 0;
}

uint32_t RK_CALL CBundleImpl::AddRef() {
    return CatchReturn(uint32_t{0}, [&] { return InternalAddRef(); });
}

uint32_t RK_CALL CBundleImpl::Release() {
    return CatchReturn(uint32_t{0}, [&] { return InternalRelease(); });
}

int32_t RK_CALL CBundleImpl::QueryInterface(const RkGuid* iid, void** out) {
    return CatchReturn(RK_E_NOINTERFACE, [&] {
        IRkBundle* self = this;
        return AnswerQuery(iid, out, {{IID_IRkBundle, self}, {IID_ISmartUnknown, self}});
    });
}

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
        if (m_records.capacity() == 0) {
            m_records.reserve(kInitialCapacity);  // nothing to replace yet: the key will be added
        }
        const auto it = LowerBound(name);
        if (it != m_records.end() && Matches(*it, name)) {
            it->tag = tag;
            it->block.swap(block);
            return RK_S_OK;
        }
        std::u16string lowered(name);
        std::transform(lowered.begin(), lowered.end(), lowered.begin(), LowerAscii);
        // The record is complete before the array changes, so a failure leaves it as it was.
        m_records.insert(it, Record{std::move(lowered), tag, std::move(block)});
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
        const std::u16string_view name(key);
        const auto it = LowerBound(name);
        if (it == m_records.end() || !Matches(*it, name)) {
            return RK_E_NO_KEY;
        }
        const ValueBlock& block = it->block;
        const auto stored = static_cast<int32_t>(block.size());
        const bool fits = buffer && *size >= stored;
        *size = stored;
        *tag = it->tag;
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
        for (const Record& record : m_records) {
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
        for (const Record& record : m_records) {
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
