// The scan item as the host reads it: setters and getters by table slot.
#include <cstring>
#include <string>

#include "bundle_support.h"
#include "simhost/counted.h"

namespace bundle_test {
namespace {

struct HostObject final : simhost::Counted<ISmartUnknown> {};

class ScanItemTest : public BundleTest {
  protected:
    void SetUp() override {
        BundleTest::SetUp();
        ASSERT_EQ(tierlock::CreateScanItem(&item_), RK_S_OK);
    }
    void TearDown() override {
        if (item_) {
            EXPECT_EQ(Slot<uint32_t>(item_, 2), 0u);
        }
        BundleTest::TearDown();
    }
    template <class R, class... Args>
    R Call(size_t slot, Args... args) {
        return Slot<R>(item_, slot, args...);
    }
    IRKScanItem* item_ = nullptr;
};

TEST_F(ScanItemTest, QueriesAndTheDestructorEntry) {
    EXPECT_EQ(tierlock::CreateScanItem(nullptr), RK_E_INVALIDARG);
    void* out = nullptr;
    ASSERT_EQ(Call<int32_t>(3, &IID_IRKScanItem, &out), RK_S_OK);
    EXPECT_EQ(out, item_);
    ASSERT_EQ(Call<int32_t>(3, &IID_ISmartUnknown, &out), RK_S_OK);
    EXPECT_EQ(out, item_);
    EXPECT_EQ(Call<int32_t>(3, &IID_IRkBundle, &out), RK_E_NOINTERFACE);
    EXPECT_EQ(Call<uint32_t>(2), 2u);

    HostObject object;
    ASSERT_TRUE(Call<bool>(9, static_cast<ISmartUnknown*>(&object)));
    ASSERT_TRUE(Call<bool>(7, u"C:\\x.exe"));
    DestructorSlot(item_, 4, RK_DELETE_FLAG);
    item_ = nullptr;
    EXPECT_EQ(Counts().objectsDestroyed, 1u);
    EXPECT_EQ(object.refs(), 0u);
    EXPECT_EQ(object.underflows(), 0u);
}

TEST_F(ScanItemTest, NumericFieldsStartAtZeroAndRoundTrip) {
    const size_t setters[] = {5, 21, 23, 25, 29, 33, 35, 37};
    for (size_t set : setters) {
        EXPECT_EQ(Call<uint32_t>(set + 1), 0u) << "slot " << set + 1;
        EXPECT_TRUE(Call<bool>(set, static_cast<uint32_t>(1000 + set)));
    }
    for (size_t set : setters) {
        EXPECT_EQ(Call<uint32_t>(set + 1), 1000 + set) << "slot " << set + 1;
    }
    EXPECT_TRUE(Call<bool>(20));
    EXPECT_TRUE(Call<bool>(19, false));
    EXPECT_FALSE(Call<bool>(20));
    ASSERT_TRUE(Call<bool>(23, -3));
    EXPECT_EQ(Call<int32_t>(24), -3);
}

TEST_F(ScanItemTest, StringsAreOwnedCopies) {
    for (size_t set : {15, 17, 27}) {
        EXPECT_EQ(Call<const char*>(set + 1), nullptr);
        std::string text = "text in slot " + std::to_string(set);
        ASSERT_TRUE(Call<bool>(set, text.c_str()));
        const std::string kept = text;
        text[0] = 'X';
        EXPECT_STREQ(Call<const char*>(set + 1), kept.c_str());
        EXPECT_FALSE(Call<bool>(set, static_cast<const char*>(nullptr)));
        EXPECT_STREQ(Call<const char*>(set + 1), kept.c_str());
    }
    EXPECT_EQ(Call<const char16_t*>(8), nullptr);
    ASSERT_TRUE(Call<bool>(7, u"C:\\\u6587\u4ef6.exe"));
    EXPECT_EQ(std::u16string(Call<const char16_t*>(8)), u"C:\\\u6587\u4ef6.exe");

    g_failValues = true;
    EXPECT_FALSE(Call<bool>(7, u"D:\\other.exe"));
    EXPECT_EQ(Call<const char16_t*>(8), nullptr);
    EXPECT_FALSE(Call<bool>(15, "text"));
    EXPECT_EQ(Call<const char*>(16), nullptr);
    g_failValues = false;
}

TEST_F(ScanItemTest, AttachedObjectHoldsExactlyOneReference) {
    HostObject first, second;
    EXPECT_EQ(Call<ISmartUnknown*>(10), nullptr);
    EXPECT_FALSE(Call<bool>(9, static_cast<ISmartUnknown*>(nullptr)));
    ASSERT_TRUE(Call<bool>(9, static_cast<ISmartUnknown*>(&first)));
    ASSERT_TRUE(Call<bool>(9, static_cast<ISmartUnknown*>(&first)));
    EXPECT_EQ(first.refs(), 1u);
    EXPECT_EQ(Call<ISmartUnknown*>(10), &first);
    EXPECT_EQ(first.refs(), 2u);  // the getter's reference belongs to the caller
    first.Release();
    ASSERT_TRUE(Call<bool>(9, static_cast<ISmartUnknown*>(&second)));
    EXPECT_EQ(first.refs(), 0u);
    EXPECT_EQ(second.refs(), 1u);
    EXPECT_EQ(Slot<uint32_t>(item_, 2), 0u);
    item_ = nullptr;
    EXPECT_EQ(second.refs(), 0u);
    EXPECT_EQ(first.underflows() + second.underflows(), 0u);
}

TEST_F(ScanItemTest, DigestsNeedTheirExactLengths) {
    uint8_t md5[16], sha1[20], out[20] = {};
    std::memset(md5, 0x5A, sizeof(md5));
    std::memset(sha1, 0xA5, sizeof(sha1));
    EXPECT_FALSE(Call<bool>(11, static_cast<const uint8_t*>(md5), 15u));
    EXPECT_FALSE(Call<bool>(11, static_cast<const uint8_t*>(nullptr), 16u));
    EXPECT_FALSE(Call<bool>(13, static_cast<const uint8_t*>(sha1), 16u));
    ASSERT_TRUE(Call<bool>(11, static_cast<const uint8_t*>(md5), 16u));
    ASSERT_TRUE(Call<bool>(13, static_cast<const uint8_t*>(sha1), 20u));
    EXPECT_FALSE(Call<bool>(12, out, 20u));
    ASSERT_TRUE(Call<bool>(12, out, 16u));
    EXPECT_EQ(std::memcmp(out, md5, 16), 0);
    EXPECT_FALSE(Call<bool>(14, out, 16u));
    ASSERT_TRUE(Call<bool>(14, out, 20u));
    EXPECT_EQ(std::memcmp(out, sha1, 20), 0);
}

TEST_F(ScanItemTest, RiskNameKeepsAStringPairInAZeroedBuffer) {
    auto units = [this](size_t count) { return std::u16string(Call<const char16_t*>(32), count); };
    EXPECT_EQ(Call<const char16_t*>(32), nullptr);
    EXPECT_FALSE(Call<bool>(31, static_cast<const char16_t*>(nullptr)));

    ASSERT_TRUE(Call<bool>(31, u"Trojan.X\0"));
    EXPECT_EQ(units(261), u"Trojan.X" + std::u16string(253, u'\0'));

    ASSERT_TRUE(Call<bool>(31, u"abc\0def\0"));
    EXPECT_EQ(units(261), std::u16string(u"abc\0def", 7) + std::u16string(254, u'\0'));

    ASSERT_TRUE(Call<bool>(31, u"\0ignored\0"));
    EXPECT_EQ(units(261), std::u16string(261, u'\0'));

    const std::u16string longName(300, u'n');
    ASSERT_TRUE(Call<bool>(31, (longName + u'\0').c_str()));
    EXPECT_EQ(units(301), longName + u'\0');
}

}  // namespace
}  // namespace bundle_test
