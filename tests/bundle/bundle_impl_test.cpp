// The key/value bundle as the host drives it, by table slot.
#include <cstring>
#include <string>

#include "bundle_support.h"

namespace bundle_test {
namespace {

class RkBundleTest : public BundleTest {
  protected:
    void SetUp() override {
        BundleTest::SetUp();
        ASSERT_EQ(tierlock::CreateRkBundle(&b_.p), RK_S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(b_.Release(), 0u);
        BundleTest::TearDown();
    }
    std::u16string Names() {
        int32_t size = 0;
        EXPECT_EQ(b_.GetNames(nullptr, &size), RK_E_OUTOFMEMORY);
        std::u16string names(size / 2, u'?');
        EXPECT_EQ(b_.GetNames(names.data(), &size), RK_S_OK);
        return names;
    }
    RkSlots b_{nullptr};
};

TEST_F(RkBundleTest, ReferencesAndQueries) {
    EXPECT_EQ(tierlock::CreateRkBundle(nullptr), RK_E_INVALIDARG);
    void* out = nullptr;
    ASSERT_EQ(b_.Query(IID_IRkBundle, &out), RK_S_OK);
    EXPECT_EQ(out, b_.p);
    ASSERT_EQ(b_.Query(IID_ISmartUnknown, &out), RK_S_OK);
    EXPECT_EQ(out, b_.p);
    EXPECT_EQ(b_.Query(IID_IASBundle, &out), RK_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(b_.AddRef(), 4u);
    EXPECT_EQ(b_.Release(), 3u);
    EXPECT_EQ(b_.Release(), 2u);
    EXPECT_EQ(b_.Release(), 1u);
}

TEST_F(RkBundleTest, KeysIgnoreAsciiCaseOnly) {
    const uint32_t first = 5, second = 6;
    uint32_t value = 0, tag = 0;
    int32_t size = 4;
    ASSERT_EQ(b_.SetValue(u"GuardType", &first, 4, 1), RK_S_OK);
    EXPECT_EQ(b_.GetValue(u"guardtype", &value, &size, &tag), RK_S_OK);
    EXPECT_EQ(value, 5u);
    ASSERT_EQ(b_.SetValue(u"GUARDTYPE", &second, 4, 2), RK_S_OK);
    EXPECT_EQ(b_.GetValue(u"GuardType", &value, &size, &tag), RK_S_OK);
    EXPECT_EQ(value, 6u);
    EXPECT_EQ(tag, 2u);

    ASSERT_EQ(b_.SetValue(u"\u00C9", &first, 4, 0), RK_S_OK);
    EXPECT_EQ(b_.GetValue(u"\u00E9", &value, &size, &tag), RK_E_NO_KEY);
    ASSERT_EQ(b_.SetValue(u"B", &first, 4, 0), RK_S_OK);
    EXPECT_EQ(Names(), std::u16string(u"b\0guardtype\0\u00C9\0", 14));  // no extra NUL
}

TEST_F(RkBundleTest, GetValueReportsSizeAndTagWhenTheBufferIsShort) {
    const char text[] = "0123456789";
    ASSERT_EQ(b_.SetValue(u"k", text, sizeof(text), 0xC0DE), RK_S_OK);
    char buffer[16];
    std::memset(buffer, 'x', sizeof(buffer));
    int32_t size = 10;
    uint32_t tag = 0;
    EXPECT_EQ(b_.GetValue(u"k", buffer, &size, &tag), RK_E_OUTOFMEMORY);
    EXPECT_EQ(size, 11);
    EXPECT_EQ(tag, 0xC0DEu);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(b_.GetValue(u"k", nullptr, &size, &tag), RK_E_OUTOFMEMORY);
    EXPECT_EQ(b_.GetValue(u"k", buffer, &size, &tag), RK_S_OK);
    EXPECT_STREQ(buffer, text);

    size = 77;
    tag = 88;
    EXPECT_EQ(b_.GetValue(u"absent", buffer, &size, &tag), RK_E_NO_KEY);
    EXPECT_EQ(size, 77);
    EXPECT_EQ(tag, 88u);
}

TEST_F(RkBundleTest, EmptyNamesAndBadArguments) {
    char16_t names[8];
    int32_t size = sizeof(names);
    uint32_t tag = 0, value = 0;
    EXPECT_EQ(b_.GetNames(names, &size), RK_S_OK);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(b_.GetNames(nullptr, &size), RK_E_OUTOFMEMORY);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(b_.GetNames(nullptr, nullptr), RK_E_INVALIDARG);

    EXPECT_EQ(b_.SetValue(nullptr, &value, 4, 0), RK_E_INVALIDARG);
    EXPECT_EQ(b_.SetValue(u"", &value, 4, 0), RK_E_INVALIDARG);
    EXPECT_EQ(b_.SetValue(u"k", nullptr, 4, 0), RK_E_INVALIDARG);
    EXPECT_EQ(b_.SetValue(u"k", &value, 0, 0), RK_E_INVALIDARG);
    EXPECT_EQ(b_.SetValue(u"k", &value, -4, 0), RK_E_INVALIDARG);
    EXPECT_EQ(b_.GetValue(u"", &value, &size, &tag), RK_E_INVALIDARG);
    EXPECT_EQ(b_.GetValue(u"k", &value, nullptr, &tag), RK_E_INVALIDARG);
    EXPECT_EQ(b_.GetValue(u"k", &value, &size, nullptr), RK_E_INVALIDARG);
    EXPECT_EQ(Names(), u"");
}

// A value whose bytes cannot be stored must not be reported as stored.
TEST_F(RkBundleTest, SetValueWithoutMemoryAnswersOutOfMemoryAndChangesNothing) {
    const char before[] = "stored before";
    const char after[] = "a longer replacement";
    ASSERT_EQ(b_.SetValue(u"Kept", before, sizeof(before), 1), RK_S_OK);
    g_failValues = true;
    EXPECT_EQ(b_.SetValue(u"kept", after, sizeof(after), 2), RK_E_OUTOFMEMORY);
    EXPECT_EQ(b_.SetValue(u"new", after, sizeof(after), 3), RK_E_OUTOFMEMORY);
    g_failValues = false;

    char buffer[32];
    int32_t size = sizeof(buffer);
    uint32_t tag = 0;
    EXPECT_EQ(b_.GetValue(u"KEPT", buffer, &size, &tag), RK_S_OK);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof(before)));
    EXPECT_EQ(tag, 1u);
    EXPECT_STREQ(buffer, before);
    EXPECT_EQ(Names(), std::u16string(u"kept\0", 5));
}

}  // namespace
}  // namespace bundle_test
