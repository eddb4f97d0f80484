// The typed bundle as the host drives it: every call goes through the table slot.
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bundle/as_common_bundle.h"
#include "bundle_support.h"

namespace bundle_test {

TEST_F(BundleTest, TypedBundleKeepsCopiesAndFreesEveryKindUnderCaseSensitiveKeys) {
    const char bytes[] = {0, 1, 2, 0, '\xff'};
    const char16_t wide[] = u"\u6587\u4ef6.exe";
    ASSERT_EQ(as_.PutInt("int", 0xFFFFFFFEu), RK_S_OK);
    ASSERT_EQ(as_.PutInt64("int64", 0x1122334455667788ull), RK_S_OK);
    ASSERT_EQ(as_.PutString("str", "C:\\a.exe"), RK_S_OK);
    ASSERT_EQ(as_.PutBinary("bin", bytes, sizeof(bytes)), RK_S_OK);
    ASSERT_EQ(as_.PutWString("wstr", wide), RK_S_OK);
    ASSERT_EQ(as_.PutInt("Int", 1), RK_S_OK);
    AsSlots copy{nullptr};
    ASSERT_EQ(tierlock::CreateBundle(&copy.p), RK_S_OK);
    EXPECT_EQ(as_.CopyTo(copy.p), RK_S_OK);
    const char* keys[] = {"int", "int64", "str", "bin", "wstr"};  // in type-code order
    for (uint32_t code = 0; code < 5; ++code) {
        uint32_t type = 99;
        EXPECT_EQ((std::pair{as_.GetType(keys[code], &type), type}), std::pair(RK_S_OK, code));
    }
    uint32_t value = 0;
    uint64_t value64 = 0;
    for (const IASBundle* bundle : {as_.p, copy.p}) {
        EXPECT_EQ(Slot<int32_t>(bundle, 8, "int", &value), RK_S_OK);
        EXPECT_EQ(value, 0xFFFFFFFEu);
        EXPECT_EQ(Slot<int32_t>(bundle, 9, "int64", &value64), RK_S_OK);
        EXPECT_EQ(value64, 0x1122334455667788ull);  // low half first
    }

    // Slots 10 to 12: a null buffer or one byte too few answers 201 with the size and writes
    // nothing; the exact size reads the value with its terminator.
    const struct {
        size_t slot;
        const char* key;
        std::string stored;
    } reads[] = {{10, "bin", std::string(bytes, sizeof(bytes))},
                 {11, "str", std::string("C:\\a.exe", 9)},
                 {12, "wstr", std::string(reinterpret_cast<const char*>(wide), sizeof(wide))}};
    for (const auto& [slot, key, stored] : reads) {
        const auto need = static_cast<uint32_t>(stored.size());
        uint32_t size = 0;
        std::string buffer(need, 'x');
        EXPECT_EQ(Slot<int32_t>(as_.p, slot, key, static_cast<char*>(nullptr), &size), 201);
        size = need - 1;
        EXPECT_EQ(Slot<int32_t>(as_.p, slot, key, buffer.data(), &size), 201) << key;
        EXPECT_EQ(size, need);
        EXPECT_EQ(buffer, std::string(need, 'x'));
        EXPECT_EQ(Slot<int32_t>(as_.p, slot, key, buffer.data(), &size), RK_S_OK);
        EXPECT_EQ(buffer, stored);
        EXPECT_EQ(ReadTwice(copy.p, slot, 201, key), stored);
    }

    EXPECT_EQ(as_.CopyTo(as_.p), RK_S_OK);  // its own lock is not held while putting
    const std::string list("Int\0bin\0int\0int64\0str\0wstr\0\0", 28);  // byte order
    EXPECT_EQ(as_.Keys(), list);
    EXPECT_EQ(copy.Keys(), list);
    EXPECT_EQ(copy.Release(), 0u);
    char buffer[32];
    auto size = static_cast<uint32_t>(list.size() - 1);
    EXPECT_EQ(Slot<int32_t>(as_.p, 14, buffer, &size), RK_S_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, list.size());

    ASSERT_EQ(as_.PutWString("int", u"now wide"), RK_S_OK);  // replaces whatever kind was there
    EXPECT_EQ(as_.GetInt("int", &value), RK_E_NO_VALUE);
    EXPECT_EQ(as_.GetString("int"), "");
    EXPECT_EQ(as_.Count(), 6u);
    EXPECT_EQ(as_.Clear(), RK_S_OK);
    EXPECT_EQ(as_.Count(), 0u);
    EXPECT_EQ(as_.Keys(), std::string(1, '\0'));  // an empty bundle lists a single NUL
    // The destructor entry frees what is left; the fixture's counts prove it.
    ASSERT_EQ(as_.PutString("k", "freed by the destructor entry"), RK_S_OK);
    DeleteThroughSlot(as_.p, 16);
    as_.p = nullptr;
}

TEST_F(BundleTest, TypedBundleRefusedPutsChangeNothing) {
    const uint8_t byte = 1;
    uint32_t type = 0;
    char* const noText = nullptr;
    uint32_t* const noSize = nullptr;
    ASSERT_EQ(as_.PutString("s", "the value before"), RK_S_OK);
    EXPECT_EQ((std::vector{as_.PutInt(nullptr, 1), as_.PutInt("", 1), as_.PutString("s", nullptr),
                           as_.PutWString("s", nullptr), as_.PutBinary("s", nullptr, 1),
                           as_.PutBinary("s", &byte, 0)}),
              std::vector(6, RK_E_INVALIDARG));
    g_failValues = true;
    EXPECT_EQ((std::vector{as_.PutString("s", "a replacement value"),
                           as_.PutBinary("new", "0123456789", 10)}),
              std::vector(2, RK_E_OUTOFMEMORY));
    g_failValues = false;
    EXPECT_EQ(as_.GetString("s"), std::string("the value before", 17));
    EXPECT_EQ(as_.Keys(), std::string("s\0\0", 3));
    EXPECT_EQ(as_.PutBinary("one", &byte, 1), RK_S_OK);  // the smallest binary value is one
    EXPECT_EQ(as_.Keys(), std::string("one\0s\0\0", 7));

    EXPECT_EQ(
        (std::vector{as_.GetInt("s", nullptr), Slot<int32_t>(as_.p, 11, "s", noText, noSize),
                     Slot<int32_t>(as_.p, 13, noSize), Slot<int32_t>(as_.p, 14, noText, noSize),
                     as_.GetType("s", nullptr), as_.CopyTo(nullptr)}),
        std::vector(6, RK_E_INVALIDARG));
    EXPECT_EQ(as_.GetType("absent", &type), RK_E_NO_VALUE);
}

// A batch of numbers leaves the bundle as the same puts one at a time would: a value of the
// same type is written over, a key holding another type takes the number, a new key is added,
// and a refused key does not stop the rest.
TEST_F(BundleTest, TypedBundleBatchOfNumbersActsAsSinglePuts) {
    auto& bundle = *static_cast<tierlock::ASCommonBundle*>(as_.p);
    ASSERT_EQ(as_.PutInt("same", 7), RK_S_OK);
    ASSERT_EQ(as_.PutString("typed", "text"), RK_S_OK);
    ASSERT_EQ(as_.PutInt64("wide", 1), RK_S_OK);
    const tierlock::ASCommonBundle::Number numbers[] = {{"same", RK_BUNDLE_INT, 0x100000008},
                                                        {"typed", RK_BUNDLE_INT, 9},
                                                        {"wide", RK_BUNDLE_INT64, 0x300000004},
                                                        {nullptr, RK_BUNDLE_INT, 1},
                                                        {"new", RK_BUNDLE_INT64, 5}};
    EXPECT_EQ(bundle.PutNumbers(numbers, 5), RK_E_INVALIDARG);
    EXPECT_EQ(as_.Keys(), std::string("new\0same\0typed\0wide\0\0", 21));
    const std::tuple<const char*, uint32_t, uint64_t> expected[] = {
        {"same", RK_BUNDLE_INT, 8},
        {"typed", RK_BUNDLE_INT, 9},
        {"wide", RK_BUNDLE_INT64, 0x300000004},
        {"new", RK_BUNDLE_INT64, 5}};
    for (const auto& [key, type, value] : expected) {
        uint32_t stored = 0;
        EXPECT_EQ(as_.GetType(key, &stored), RK_S_OK);
        uint64_t wide = 0;
        uint32_t narrow = 0;
        EXPECT_EQ(type == RK_BUNDLE_INT64 ? bundle.GetInt64(key, &wide) : as_.GetInt(key, &narrow),
                  RK_S_OK);
        EXPECT_EQ(std::make_pair(stored, type == RK_BUNDLE_INT64 ? wide : narrow),
                  std::make_pair(type, value))
            << key;
    }
}

// A batch equal to the last one is taken as already in place; anything that changed the
// bundle meanwhile (a put over a value, a clear) or a changed value puts it again.
TEST_F(BundleTest, TypedBundleRepeatedBatchSeesEveryChangeMeanwhile) {
    auto& bundle = *static_cast<tierlock::ASCommonBundle*>(as_.p);
    const tierlock::ASCommonBundle::Number batch[] = {{"a", RK_BUNDLE_INT, 1},
                                                      {"b", RK_BUNDLE_INT64, 2}};
    auto values = [&] {
        uint32_t a = 0;
        uint64_t b = 0;
        as_.GetInt("a", &a);
        bundle.GetInt64("b", &b);
        return std::make_pair(a, b);
    };
    for (int i = 0; i < 3; ++i) {  // new keys, then in place, then remembered
        ASSERT_EQ(bundle.PutNumbers(batch, 2), RK_S_OK);
    }
    ASSERT_EQ(as_.PutInt("a", 99), RK_S_OK);
    EXPECT_EQ(bundle.PutNumbers(batch, 2), RK_S_OK);
    EXPECT_EQ(values(), std::make_pair(1u, uint64_t{2}));
    bundle.PutNumbers(batch, 2);
    ASSERT_EQ(as_.Clear(), RK_S_OK);
    EXPECT_EQ(bundle.PutNumbers(batch, 2), RK_S_OK);
    EXPECT_EQ(values(), std::make_pair(1u, uint64_t{2}));
    const tierlock::ASCommonBundle::Number changed[] = {{"a", RK_BUNDLE_INT, 1},
                                                        {"b", RK_BUNDLE_INT64, 3}};
    EXPECT_EQ(bundle.PutNumbers(changed, 2), RK_S_OK);
    EXPECT_EQ(values(), std::make_pair(1u, uint64_t{3}));
    EXPECT_EQ(as_.Keys(), std::string("a\0b\0\0", 5));
}

}  // namespace bundle_test
