// The scan item as the host reads it: setters and getters by table slot.
#include <cstring>
#include <string>
#include <utility>

#include "bundle_support.h"

namespace bundle_test {

TEST_F(BundleTest, ScanItemNumbersStartAtZeroAndStringsAreOwnedCopies) {
    const size_t numberSetters[] = {5, 21, 23, 25, 29, 33, 35, 37};
    for (size_t set : numberSetters) {  // each getter reads only its own field
        EXPECT_EQ(Item<uint32_t>(set + 1), 0u) << "slot " << set + 1;
        EXPECT_TRUE(Item<bool>(set, static_cast<uint32_t>(1000 + set)));
        EXPECT_EQ(Item<uint32_t>(set + 1), 1000 + set) << "slot " << set + 1;
    }
    EXPECT_TRUE(Item<bool>(20));  // the flag starts set
    EXPECT_TRUE(Item<bool>(19, false));
    EXPECT_FALSE(Item<bool>(20));

    for (size_t set : {15, 17, 27}) {
        EXPECT_EQ(Item<const char*>(set + 1), nullptr);
        std::string text = "text in slot " + std::to_string(set);
        ASSERT_TRUE(Item<bool>(set, text.c_str()));
        text[0] = 'X';
        EXPECT_STREQ(Item<const char*>(set + 1), ("t" + text.substr(1)).c_str());
        EXPECT_FALSE(Item<bool>(set, static_cast<const char*>(nullptr)));
        EXPECT_NE(Item<const char*>(set + 1), nullptr);
    }
    EXPECT_EQ(Item<const char16_t*>(8), nullptr);
    ASSERT_TRUE(Item<bool>(7, u"C:\\\u6587\u4ef6.exe"));
    EXPECT_EQ(std::u16string(Item<const char16_t*>(8)), u"C:\\\u6587\u4ef6.exe");
    g_failValues = true;
    EXPECT_FALSE(Item<bool>(7, u"D:\\other.exe"));
    EXPECT_EQ(Item<const char16_t*>(8), nullptr);
}

TEST_F(BundleTest, ScanItemAttachedObjectHoldsExactlyOneReference) {
    HostObject first, second;
    EXPECT_EQ(Item<ISmartUnknown*>(10), nullptr);
    EXPECT_FALSE(Item<bool>(9, static_cast<ISmartUnknown*>(nullptr)));
    ASSERT_TRUE(Item<bool>(9, static_cast<ISmartUnknown*>(&first)));
    ASSERT_TRUE(Item<bool>(9, static_cast<ISmartUnknown*>(&first)));
    EXPECT_EQ(first.refs(), 1u);
    EXPECT_EQ(Item<ISmartUnknown*>(10), &first);
    EXPECT_EQ(first.refs(), 2u);  // the getter's reference belongs to the caller
    first.Release();
    ASSERT_TRUE(Item<bool>(9, static_cast<ISmartUnknown*>(&second)));
    EXPECT_EQ(std::pair(first.refs(), second.refs()), std::pair(0u, 1u));
    ASSERT_TRUE(Item<bool>(7, u"C:\\x.exe"));
    DeleteThroughSlot(item_, 4);  // frees the path and lets go of the object
    item_ = nullptr;
    EXPECT_EQ(second.refs(), 0u);
    EXPECT_EQ(first.underflows() + second.underflows(), 0u);
}

TEST_F(BundleTest, ScanItemDigestsNeedTheirExactLengths) {
    // Slots 11/12 hold 16 bytes, 13/14 hold 20: any other length is refused both ways.
    for (const auto& [set, length] : {std::pair<size_t, uint32_t>{11, 16}, {13, 20}}) {
        uint8_t digest[21], out[21] = {};
        std::memset(digest, static_cast<int>(set), sizeof(digest));
        EXPECT_FALSE(Item<bool>(set, static_cast<const uint8_t*>(digest), length - 1));
        EXPECT_FALSE(Item<bool>(set, static_cast<const uint8_t*>(nullptr), length));
        ASSERT_TRUE(Item<bool>(set, static_cast<const uint8_t*>(digest), length));
        EXPECT_FALSE(Item<bool>(set + 1, out, length + 1));
        ASSERT_TRUE(Item<bool>(set + 1, out, length));
        EXPECT_EQ(std::memcmp(out, digest, length), 0);
    }
}

TEST_F(BundleTest, ScanItemRiskNameKeepsAStringPairInAZeroedBuffer) {
    auto units = [this](size_t count) { return std::u16string(Item<const char16_t*>(32), count); };
    EXPECT_EQ(Item<const char16_t*>(32), nullptr);
    EXPECT_FALSE(Item<bool>(31, static_cast<const char16_t*>(nullptr)));
    ASSERT_TRUE(Item<bool>(31, u"Trojan.X\0"));
    EXPECT_EQ(units(261), u"Trojan.X" + std::u16string(253, u'\0'));
    ASSERT_TRUE(Item<bool>(31, u"abc\0def\0"));
    EXPECT_EQ(units(261), std::u16string(u"abc\0def", 7) + std::u16string(254, u'\0'));
    ASSERT_TRUE(Item<bool>(31, u"\0ignored\0"));
    EXPECT_EQ(units(261), std::u16string(261, u'\0'));
    const std::u16string longName(300, u'n');
    ASSERT_TRUE(Item<bool>(31, (longName + u'\0').c_str()));
    EXPECT_EQ(units(301), longName + u'\0');
}

}  // namespace bundle_test
