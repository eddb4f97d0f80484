// What the bundle tests share: table calls made the way the host makes them (by slot number
// through the interface pointer), and an allocator that counts every object and value block
// and can be told to fail.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "bundle/bundle.h"
#include "bundle/memory.h"

namespace bundle_test {

// Calls entry `slot` (counted from 1) of the table that `object` points to.
template <class R, class... Args>
R Slot(const void* object, size_t slot, Args... args) {
    using Entry = R(RK_CALL*)(const void*, Args...);
    const auto* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Entry>(table[slot - 1])(object, args...);
}

// The destructor entry, called like MSVC's `delete`.
inline void* DestructorSlot(const void* object, size_t slot, uint32_t flags) {
    using Entry = void*(RK_DTOR_CALL*)(const void*, uint32_t);
    const auto* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Entry>(table[slot - 1])(object, flags);
}

// A host holding an IASBundle reaches its reference count through the second table.
inline const void* SecondTable(const IASBundle* bundle) {
    return reinterpret_cast<const char*>(bundle) + sizeof(void*);
}

struct AsSlots {
    IASBundle* p;
    uint32_t AddRef() const { return Slot<uint32_t>(SecondTable(p), 1); }
    uint32_t Release() const { return Slot<uint32_t>(SecondTable(p), 2); }
    int32_t Query(const RkGuid& iid, void** out) const {
        return Slot<int32_t>(SecondTable(p), 3, &iid, out);
    }
    int32_t Clear() const { return Slot<int32_t>(p, 1); }
    int32_t CopyTo(IASBundle* to) const { return Slot<int32_t>(p, 2, to); }
    int32_t PutInt(const char* k, uint32_t v) const { return Slot<int32_t>(p, 3, k, v); }
    int32_t PutInt64(const char* k, uint64_t v) const {
        return Slot<int32_t>(p, 4, k, static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32));
    }
    int32_t PutString(const char* k, const char* v) const { return Slot<int32_t>(p, 5, k, v); }
    int32_t PutWString(const char* k, const char16_t* v) const { return Slot<int32_t>(p, 6, k, v); }
    int32_t PutBinary(const char* k, const void* d, int32_t n) const {
        return Slot<int32_t>(p, 7, k, d, n);
    }
    int32_t GetInt(const char* k, uint32_t* v) const { return Slot<int32_t>(p, 8, k, v); }
    int32_t GetInt64(const char* k, uint64_t* v) const { return Slot<int32_t>(p, 9, k, v); }
    int32_t GetBinary(const char* k, void* b, int32_t* n) const {
        return Slot<int32_t>(p, 10, k, b, n);
    }
    int32_t GetString(const char* k, char* b, uint32_t* n) const {
        return Slot<int32_t>(p, 11, k, b, n);
    }
    int32_t GetWString(const char* k, char16_t* b, uint32_t* n) const {
        return Slot<int32_t>(p, 12, k, b, n);
    }
    int32_t GetCount(uint32_t* n) const { return Slot<int32_t>(p, 13, n); }
    int32_t GetKeys(char* b, uint32_t* n) const { return Slot<int32_t>(p, 14, b, n); }
    int32_t GetType(const char* k, uint32_t* t) const { return Slot<int32_t>(p, 15, k, t); }
    void Delete() const { DestructorSlot(p, 16, RK_DELETE_FLAG); }
};

struct RkSlots {
    IRkBundle* p;
    uint32_t AddRef() const { return Slot<uint32_t>(p, 1); }
    uint32_t Release() const { return Slot<uint32_t>(p, 2); }
    int32_t Query(const RkGuid& iid, void** out) const { return Slot<int32_t>(p, 3, &iid, out); }
    int32_t GetValue(const char16_t* k, void* b, int32_t* n, uint32_t* tag) const {
        return Slot<int32_t>(p, 4, k, b, n, tag);
    }
    int32_t SetValue(const char16_t* k, const void* d, int32_t n, uint32_t tag) const {
        return Slot<int32_t>(p, 5, k, d, n, tag);
    }
    int32_t GetNames(char16_t* b, int32_t* n) const { return Slot<int32_t>(p, 6, b, n); }
};

// Test-wide allocator: every object and value block is recorded until it is released.
struct MemoryCounts {
    size_t objectsConstructed = 0;
    size_t objectsDestroyed = 0;
    size_t valuesLive = 0;
    size_t unknownReleases = 0;  // a block released twice or never handed out
};
MemoryCounts Counts();
inline std::atomic<bool> g_failValues{false};

// Installs the counting allocator; at the end every object must be destroyed exactly once and
// every value block freed.
class BundleTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace bundle_test
