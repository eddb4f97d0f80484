// The key/value bundle as the host drives it, by table slot.
#include <string>

#include "bundle_support.h"

namespace bundle_test {

TEST_F(BundleTest, KeyValueKeysIgnoreAsciiCaseAndShortReadsReportSizeAndTag) {
    const char text[] = "0123456789";
    char buffer[16] = "untouched";
    int32_t size = 10;
    uint32_t tag = 0;
    ASSERT_EQ(rk_.SetValue(u"GuardType", "old", 4, 1), RK_S_OK);
    ASSERT_EQ(rk_.SetValue(u"GUARDTYPE", text, sizeof(text), 0xC0DE), RK_S_OK);
    EXPECT_EQ(rk_.GetValue(u"guardtype", buffer, &size, &tag), RK_E_OUTOFMEMORY);
    EXPECT_EQ(std::pair(size, tag), std::pair(11, 0xC0DEu));
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(rk_.GetValue(u"GuardType", nullptr, &size, &tag), RK_E_OUTOFMEMORY);
    EXPECT_EQ(rk_.GetValue(u"GuardType", buffer, &size, &tag), RK_S_OK);
    EXPECT_STREQ(buffer, text);

    ASSERT_EQ(rk_.SetValue(u"\u00C9", text, 1, 0), RK_S_OK);  // only A to Z are folded
    size = 77;
    EXPECT_EQ(rk_.GetValue(u"\u00E9", buffer, &size, &tag), RK_E_NO_KEY);
    EXPECT_EQ(size, 77);
    ASSERT_EQ(rk_.SetValue(u"B", text, 1, 0), RK_S_OK);
    EXPECT_EQ(rk_.Names(), std::u16string(u"b\0guardtype\0\u00C9\0", 14));  // no extra NUL
}

TEST_F(BundleTest, KeyValueEmptyNamesAndBadArguments) {
    char16_t names[8];
    int32_t size = sizeof(names);
    uint32_t tag = 0, value = 0;
    EXPECT_EQ(Slot<int32_t>(rk_.p, 6, names, &size), RK_S_OK);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(Slot<int32_t>(rk_.p, 6, static_cast<char16_t*>(nullptr), &size), RK_E_OUTOFMEMORY);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(Slot<int32_t>(rk_.p, 6, names, static_cast<int32_t*>(nullptr)), RK_E_INVALIDARG);
    EXPECT_EQ(rk_.SetValue(u"", &value, 4, 0), RK_E_INVALIDARG);
    EXPECT_EQ(rk_.SetValue(u"k", nullptr, 4, 0), RK_E_INVALIDARG);
    EXPECT_EQ(rk_.SetValue(u"k", &value, 0, 0), RK_E_INVALIDARG);
    EXPECT_EQ(rk_.SetValue(u"k", &value, -1, 0), RK_E_INVALIDARG);  // no 4 GB copy is tried
    EXPECT_EQ(rk_.GetValue(nullptr, &value, &size, &tag), RK_E_INVALIDARG);
    EXPECT_EQ(rk_.GetValue(u"k", &value, nullptr, &tag), RK_E_INVALIDARG);
    EXPECT_EQ(rk_.GetValue(u"k", &value, &size, nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(rk_.Names(), u"");
}

// A value whose bytes cannot be stored must not be reported as stored.
TEST_F(BundleTest, KeyValueSetWithoutMemoryAnswersOutOfMemoryAndChangesNothing) {
    const char before[] = "stored before";
    const char after[] = "a longer replacement";
    char buffer[32];
    int32_t size = sizeof(buffer);
    uint32_t tag = 0;
    ASSERT_EQ(rk_.SetValue(u"Kept", before, sizeof(before), 1), RK_S_OK);
    g_failValues = true;
    EXPECT_EQ(rk_.SetValue(u"kept", after, sizeof(after), 2), RK_E_OUTOFMEMORY);
    EXPECT_EQ(rk_.SetValue(u"new", after, sizeof(after), 3), RK_E_OUTOFMEMORY);
    g_failValues = false;
    EXPECT_EQ(rk_.GetValue(u"KEPT", buffer, &size, &tag), RK_S_OK);
    EXPECT_EQ(std::pair(size, tag), std::pair(static_cast<int32_t>(sizeof(before)), 1u));
    EXPECT_STREQ(buffer, before);
    EXPECT_EQ(rk_.Names(), std::u16string(u"kept\0", 5));
}

// Keys that differ only after a long common prefix, or only in length, stay apart in both
// bundles.
TEST_F(BundleTest, KeysSharingALongPrefixStayApart) {
    const std::string prefix(40, 'k');
    const std::string keys[] = {prefix + "b", prefix, prefix + "a", prefix + "ab"};
    for (uint32_t pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < 4; ++i) {
            const std::u16string wide(keys[i].begin(), keys[i].end());
            uint32_t value = 99, tag = 99;
            int32_t size = 4;
            if (pass == 0) {
                ASSERT_EQ(as_.PutInt(keys[i].c_str(), i), RK_S_OK);
                ASSERT_EQ(rk_.SetValue(wide.c_str(), &i, 4, i), RK_S_OK);
            } else {
                EXPECT_EQ(as_.GetInt(keys[i].c_str(), &value), RK_S_OK);
                EXPECT_EQ(value, i);
                EXPECT_EQ(rk_.GetValue(wide.c_str(), &value, &size, &tag), RK_S_OK);
                EXPECT_EQ(tag, i);
            }
        }
    }
    EXPECT_EQ(as_.Count(), 4u);
}

// More keys than a bundle keeps in place, put in a scrambled order and some of them twice:
// both bundles list each key once in key order, every value reads back, and a cleared bundle
// takes a new set the same way (the request bundle, which cannot be cleared, takes the new
// values over its old ones).
TEST_F(BundleTest, ManyKeysInAnyOrderListSortedAndReadBack) {
    for (uint32_t round = 0; round < 2; ++round) {
        std::string expected;
        std::u16string expectedNames;
        for (uint32_t i = 0; i < 40; ++i) {
            expected += "k" + std::to_string(100 + i) + '\0';
        }
        expectedNames.assign(expected.begin(), expected.end());
        for (uint32_t n = 0; n < 60; ++n) {
            const uint32_t i = (n * 17 + round) % 40;  // every key, twenty of them twice
            const std::string key = "k" + std::to_string(100 + i);
            const std::u16string wide(key.begin(), key.end());
            const uint32_t value = i + round;
            ASSERT_EQ(as_.PutInt(key.c_str(), value), RK_S_OK);
            ASSERT_EQ(rk_.SetValue(wide.c_str(), &value, 4, value), RK_S_OK);
        }
        EXPECT_EQ(as_.Keys(), expected + '\0');
        EXPECT_EQ(rk_.Names(), expectedNames);
        for (uint32_t i = 0; i < 40; ++i) {
            const std::string key = "k" + std::to_string(100 + i);
            const std::u16string wide(key.begin(), key.end());
            uint32_t value = 0, tag = 0;
            int32_t size = 4;
            EXPECT_EQ(as_.GetInt(key.c_str(), &value), RK_S_OK);
            EXPECT_EQ(rk_.GetValue(wide.c_str(), &tag, &size, &tag), RK_S_OK);
            EXPECT_EQ(std::pair(value, tag), std::pair(i + round, i + round)) << key;
        }
        ASSERT_EQ(as_.Clear(), RK_S_OK);
    }
}

}  // namespace bundle_test
