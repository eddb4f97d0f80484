// The typed bundle as the host drives it: every call goes through the table slot.
#include <gmock/gmock.h>

#include <cstring>
#include <string>

#include "bundle_support.h"

namespace bundle_test {
namespace {

using ::testing::_;
using ::testing::StrEq;

class AsBundleTest : public BundleTest {
  protected:
    void SetUp() override {
        BundleTest::SetUp();
        ASSERT_EQ(tierlock::CreateBundle(&b_.p), RK_S_OK);
    }
    void TearDown() override {
        if (b_.p) {
            EXPECT_EQ(b_.Release(), 0u);
        }
        BundleTest::TearDown();
    }
    std::string Keys() {
        uint32_t size = 0;
        EXPECT_EQ(b_.GetKeys(nullptr, &size), RK_S_BUFFER_TOO_SMALL);
        std::string keys(size, '?');
        EXPECT_EQ(b_.GetKeys(keys.data(), &size), RK_S_OK);
        return keys;
    }
    AsSlots b_{nullptr};
};

TEST_F(AsBundleTest, ReferencesAndQueriesThroughBothTables) {
    EXPECT_EQ(tierlock::CreateBundle(nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.AddRef(), 2u);
    EXPECT_EQ(b_.Release(), 1u);
    void* unknown = nullptr;
    ASSERT_EQ(b_.Query(IID_ISmartUnknown, &unknown), RK_S_OK);
    EXPECT_EQ(unknown, SecondTable(b_.p));
    void* again = nullptr;
    ASSERT_EQ(Slot<int32_t>(unknown, 3, &IID_IASBundle, &again), RK_S_OK);
    EXPECT_EQ(again, b_.p);
    EXPECT_EQ(Slot<uint32_t>(unknown, 2), 2u);
    EXPECT_EQ(b_.Release(), 1u);
    EXPECT_EQ(b_.Query(IID_IRkBundle, &again), RK_E_NOINTERFACE);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(b_.Query(IID_IASBundle, nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.Release(), 0u);
    b_.p = nullptr;
    EXPECT_EQ(Counts().objectsDestroyed, 1u);
}

TEST_F(AsBundleTest, DestructorEntryFreesObjectAndValues) {
    ASSERT_EQ(b_.PutString("k", "a value longer than eight bytes"), RK_S_OK);
    DestructorSlot(b_.p, 16, RK_DELETE_FLAG);
    b_.p = nullptr;
    EXPECT_EQ(Counts().objectsDestroyed, 1u);
}

TEST_F(AsBundleTest, EveryKindRoundTrips) {
    const uint8_t bytes[] = {0, 1, 2, 0, 255, 9, 9, 9, 9, 9};
    ASSERT_EQ(b_.PutInt("int", 0xFFFFFFFEu), RK_S_OK);
    ASSERT_EQ(b_.PutInt64("int64", 0x1122334455667788ull), RK_S_OK);
    ASSERT_EQ(b_.PutString("str", "C:\\a.exe"), RK_S_OK);
    ASSERT_EQ(b_.PutBinary("bin", bytes, sizeof(bytes)), RK_S_OK);
    ASSERT_EQ(b_.PutWString("wstr", u"\u6587\u4ef6.exe"), RK_S_OK);
    const char* keys[] = {"int", "int64", "str", "bin", "wstr"};
    for (uint32_t code = 0; code < 5; ++code) {
        uint32_t type = 99;
        EXPECT_EQ(b_.GetType(keys[code], &type), RK_S_OK);
        EXPECT_EQ(type, code);
    }

    uint32_t value = 0, size = 0, count = 0;
    uint64_t value64 = 0;
    EXPECT_EQ(b_.GetInt("int", &value), RK_S_OK);
    EXPECT_EQ(value, 0xFFFFFFFEu);
    EXPECT_EQ(b_.GetInt64("int64", &value64), RK_S_OK);
    EXPECT_EQ(value64, 0x1122334455667788ull);  // low half first
    char text[16];
    std::memset(text, 'x', sizeof(text));
    size = 8;  // one short of the terminator
    EXPECT_EQ(b_.GetString("str", text, &size), RK_S_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(text[0], 'x');
    EXPECT_EQ(b_.GetString("str", text, &size), RK_S_OK);
    EXPECT_STREQ(text, "C:\\a.exe");
    char16_t wide[8];
    EXPECT_EQ(b_.GetWString("wstr", nullptr, &size), RK_S_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(b_.GetWString("wstr", wide, &size), RK_S_OK);
    EXPECT_EQ(std::u16string(wide), u"\u6587\u4ef6.exe");
    uint8_t block[16];
    int32_t blockSize = -1;
    EXPECT_EQ(b_.GetBinary("bin", block, &blockSize), RK_S_BUFFER_TOO_SMALL);
    EXPECT_EQ(blockSize, 10);
    EXPECT_EQ(b_.GetBinary("bin", block, &blockSize), RK_S_OK);
    EXPECT_EQ(std::memcmp(block, bytes, sizeof(bytes)), 0);

    EXPECT_EQ(b_.GetCount(&count), RK_S_OK);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(b_.Clear(), RK_S_OK);
    EXPECT_EQ(b_.GetCount(&count), RK_S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Counts().valuesLive, 0u);
}

TEST_F(AsBundleTest, APutReplacesAnyKindAndReadsCheckTheKind) {
    ASSERT_EQ(b_.PutInt("k", 7), RK_S_OK);
    ASSERT_EQ(b_.PutWString("k", u"now wide"), RK_S_OK);
    uint32_t value = 0, type = 0, size = 64, count = 0;
    char text[64];
    EXPECT_EQ(b_.GetInt("k", &value), RK_E_NO_VALUE);
    EXPECT_EQ(b_.GetString("k", text, &size), RK_E_NO_VALUE);
    EXPECT_EQ(b_.GetType("k", &type), RK_S_OK);
    EXPECT_EQ(type, RK_BUNDLE_WSTRING);
    EXPECT_EQ(b_.GetCount(&count), RK_S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(b_.GetType("absent", &type), RK_E_NO_VALUE);
}

TEST_F(AsBundleTest, BadArgumentsChangeNothing) {
    const uint8_t byte = 1;
    uint32_t value = 0;
    EXPECT_EQ(b_.PutInt(nullptr, 1), RK_E_INVALIDARG);
    EXPECT_EQ(b_.PutInt("", 1), RK_E_INVALIDARG);
    EXPECT_EQ(b_.PutString("k", nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.PutWString("k", nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.PutBinary("k", nullptr, 1), RK_E_INVALIDARG);
    EXPECT_EQ(b_.PutBinary("k", &byte, 0), RK_E_INVALIDARG);
    EXPECT_EQ(b_.PutBinary("k", &byte, -1), RK_E_INVALIDARG);
    EXPECT_EQ(Keys(), std::string(1, '\0'));  // an empty bundle lists a single NUL

    ASSERT_EQ(b_.PutInt("k", 1), RK_S_OK);
    EXPECT_EQ(b_.GetInt("", &value), RK_E_INVALIDARG);
    EXPECT_EQ(b_.GetInt("k", nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.GetString("k", nullptr, nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.GetType("k", nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.GetKeys(nullptr, nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.GetCount(nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(b_.CopyTo(nullptr), RK_E_INVALIDARG);
}

TEST_F(AsBundleTest, KeysAreCaseSensitiveAndListedInByteOrder) {
    ASSERT_EQ(b_.PutInt("path", 1), RK_S_OK);
    ASSERT_EQ(b_.PutInt("Path", 2), RK_S_OK);
    ASSERT_EQ(b_.PutInt("b", 3), RK_S_OK);
    EXPECT_EQ(Keys(), std::string("Path\0b\0path\0\0", 13));
    char keys[16];
    uint32_t size = 12;
    EXPECT_EQ(b_.GetKeys(keys, &size), RK_S_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 13u);
}

TEST_F(AsBundleTest, APutWithoutMemoryLeavesTheBundleUnchanged) {
    ASSERT_EQ(b_.PutString("s", "the value before"), RK_S_OK);
    g_failValues = true;
    EXPECT_EQ(b_.PutString("s", "a replacement value"), RK_E_OUTOFMEMORY);
    EXPECT_EQ(b_.PutBinary("new", "0123456789", 10), RK_E_OUTOFMEMORY);
    g_failValues = false;
    char text[32];
    uint32_t size = sizeof(text);
    EXPECT_EQ(b_.GetString("s", text, &size), RK_S_OK);
    EXPECT_STREQ(text, "the value before");
    EXPECT_EQ(Keys(), std::string("s\0\0", 3));
}

// A host-side bundle as the destination: the copy may only use its table.
class HostBundle : public IASBundle {
  public:
#define HOST_OP(R, Name, Args) MOCK_METHOD(R, Name, Args, (override, Calltype(RK_CALL)))
    HOST_OP(uint32_t, AddRef, ());
    HOST_OP(uint32_t, Release, ());
    HOST_OP(int32_t, QueryInterface, (const RkGuid*, void**));
    HOST_OP(int32_t, Clear, ());
    HOST_OP(int32_t, CopyTo, (IASBundle*));
    HOST_OP(int32_t, PutInt, (const char*, uint32_t));
    HOST_OP(int32_t, PutInt64, (const char*, uint32_t, uint32_t));
    HOST_OP(int32_t, PutString, (const char*, const char*));
    HOST_OP(int32_t, PutWString, (const char*, const char16_t*));
    HOST_OP(int32_t, PutBinary, (const char*, const void*, int32_t));
    HOST_OP(int32_t, GetInt, (const char*, uint32_t*));
    HOST_OP(int32_t, GetInt64, (const char*, uint64_t*));
    HOST_OP(int32_t, GetBinary, (const char*, void*, int32_t*));
    HOST_OP(int32_t, GetString, (const char*, char*, uint32_t*));
    HOST_OP(int32_t, GetWString, (const char*, char16_t*, uint32_t*));
    HOST_OP(int32_t, GetCount, (uint32_t*));
    HOST_OP(int32_t, GetKeys, (char*, uint32_t*));
    HOST_OP(int32_t, GetType, (const char*, uint32_t*));
#undef HOST_OP
    MOCK_METHOD(void*, ScalarDeletingDestructor, (uint32_t), (override, Calltype(RK_DTOR_CALL)));
};

TEST_F(AsBundleTest, CopyWritesEveryValueThroughTheDestinationsPuts) {
    ASSERT_EQ(b_.PutInt("a", 5), RK_S_OK);
    ASSERT_EQ(b_.PutInt64("b", 0x100000002ull), RK_S_OK);
    ASSERT_EQ(b_.PutString("c", "text"), RK_S_OK);
    ASSERT_EQ(b_.PutWString("d", u"wide"), RK_S_OK);
    ASSERT_EQ(b_.PutBinary("e", "\x01\x02", 2), RK_S_OK);

    HostBundle host;
    EXPECT_CALL(host, PutInt(StrEq("a"), 5u));
    EXPECT_CALL(host, PutInt64(StrEq("b"), 2u, 1u));
    EXPECT_CALL(host, PutString(StrEq("c"), StrEq("text")));
    EXPECT_CALL(host, PutWString(StrEq("d"), _)).WillOnce([](const char*, const char16_t* v) {
        EXPECT_EQ(std::u16string(v), u"wide");
        return RK_E_OUTOFMEMORY;  // a failing put does not stop the copy
    });
    EXPECT_CALL(host, PutBinary(StrEq("e"), _, 2));
    EXPECT_EQ(b_.CopyTo(&host), RK_S_OK);

    AsSlots copy{nullptr};
    ASSERT_EQ(tierlock::CreateBundle(&copy.p), RK_S_OK);
    EXPECT_EQ(b_.CopyTo(copy.p), RK_S_OK);
    EXPECT_EQ(b_.CopyTo(b_.p), RK_S_OK);
    const std::string keys = Keys();
    std::swap(b_, copy);
    EXPECT_EQ(Keys(), keys);
    EXPECT_EQ(copy.Release(), 0u);
}

}  // namespace
}  // namespace bundle_test
