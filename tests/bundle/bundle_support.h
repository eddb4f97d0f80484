// What the bundle tests share: calls made the way the host makes them (by slot number through
// the interface pointer), an allocator that counts every object and value block and can be told
// to fail, and a fixture holding one object of each kind.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bundle/bundle.h"
#include "bundle/memory.h"
#include "simhost/counted.h"
#include "testsupport/counting_memory.h"

namespace bundle_test {

// Calls entry `slot` (counted from 1) of the table that `object` points to.
template <class R, class... Args>
R Slot(const void* object, size_t slot, Args... args) {
    using Entry = R(RK_CALL*)(const void*, Args...);
    const auto* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Entry>(table[slot - 1])(object, args...);
}

// The destructor entry, called like MSVC's `delete`.
inline void DeleteThroughSlot(const void* object, size_t slot) {
    using Entry = void*(RK_DTOR_CALL*)(const void*, uint32_t);
    const auto* table = *static_cast<void* const* const*>(object);
    reinterpret_cast<Entry>(table[slot - 1])(object, RK_DELETE_FLAG);
}

// A variable-size answer read as callers read it: ask with no buffer (answered `tooSmall` with
// the size in bytes), then read into a buffer of that size. Empty when either call fails.
template <class Char = char, class... Key>
std::basic_string<Char> ReadTwice(const void* object, size_t slot, int32_t tooSmall, Key... key) {
    uint32_t size = 0;
    const bool sized =
        Slot<int32_t>(object, slot, key..., static_cast<void*>(nullptr), &size) == tooSmall;
    std::basic_string<Char> text(sized ? size / sizeof(Char) : 0, Char('?'));
    void* buffer = text.data();
    return sized && Slot<int32_t>(object, slot, key..., buffer, &size) == RK_S_OK
               ? text
               : std::basic_string<Char>();
}

// A host object the plug-in can hold references to.
struct HostObject final : simhost::Counted<ISmartUnknown> {};

// A host holding an IASBundle reaches its reference count through the second table.
inline const void* SecondTable(const IASBundle* bundle) {
    return reinterpret_cast<const char*>(bundle) + sizeof(void*);
}

struct AsSlots {
    IASBundle* p;
    uint32_t Release() const { return Slot<uint32_t>(SecondTable(p), 2); }
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
    std::string GetString(const char* k) const { return ReadTwice(p, 11, 201, k); }
    uint32_t Count() const {
        uint32_t count = 0xDEAD;
        return Slot<int32_t>(p, 13, &count) == RK_S_OK ? count : 0xDEAD;
    }
    std::string Keys() const { return ReadTwice(p, 14, RK_S_BUFFER_TOO_SMALL); }
    int32_t GetType(const char* k, uint32_t* t) const { return Slot<int32_t>(p, 15, k, t); }
};

struct RkSlots {
    IRkBundle* p;
    int32_t GetValue(const char16_t* k, void* b, int32_t* n, uint32_t* tag) const {
        return Slot<int32_t>(p, 4, k, b, n, tag);
    }
    int32_t SetValue(const char16_t* k, const void* d, int32_t n, uint32_t tag) const {
        return Slot<int32_t>(p, 5, k, d, n, tag);
    }
    std::u16string Names() const { return ReadTwice<char16_t>(p, 6, RK_E_OUTOFMEMORY); }
};

// Every object and value block the bundles allocate, counted until it is released.
inline std::atomic<size_t>& g_objectsMade = testsupport::Bundles().objectsMade;
inline std::atomic<size_t>& g_objectsDestroyed = testsupport::Bundles().objectsDestroyed;
inline std::atomic<int64_t>& g_valuesLive = testsupport::Bundles().valuesLive;
inline std::atomic<bool>& g_failValues = testsupport::Bundles().failValues;

// One object of each kind, as the host holds them. At the end every object must have been
// destroyed exactly once (a test that deletes one itself sets its pointer to null) and every
// value freed.
class BundleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testsupport::Bundles().Reset();
        tierlock::SetBundleMemory(&testsupport::CountingMemory());
        ASSERT_EQ(tierlock::CreateBundle(&as_.p), RK_S_OK);
        ASSERT_EQ(tierlock::CreateRkBundle(&rk_.p), RK_S_OK);
        ASSERT_EQ(tierlock::CreateScanItem(&item_), RK_S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(as_.p ? as_.Release() : 0u, 0u);
        EXPECT_EQ(rk_.p ? Slot<uint32_t>(rk_.p, 2) : 0u, 0u);
        EXPECT_EQ(item_ ? Item<uint32_t>(2) : 0u, 0u);
        EXPECT_EQ(g_objectsDestroyed.load(), g_objectsMade.load());
        EXPECT_EQ(g_valuesLive.load(), 0);
        tierlock::SetBundleMemory(nullptr);  // blocks a failed test left alive came from malloc
    }
    template <class R, class... Args>
    R Item(size_t slot, Args... args) {
        return Slot<R>(item_, slot, args...);
    }
    AsSlots as_{nullptr};
    RkSlots rk_{nullptr};
    IRKScanItem* item_ = nullptr;
};

}  // namespace bundle_test
