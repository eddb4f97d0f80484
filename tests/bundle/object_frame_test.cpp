// The reference-counting frame every object shares, reached through the tables the host holds.
#include "bundle_support.h"

namespace bundle_test {

// Each object answers its own id and ISmartUnknown with a counted reference and refuses any
// other id; the last release destroys it.
TEST_F(BundleTest, QueriesCountReferencesAndTheLastReleaseDestroys) {
    const struct {
        const void* counted;  // the table holding AddRef, Release and QueryInterface
        const RkGuid* own;
        const void* ownTable;
        const RkGuid* refused;
    } objects[] = {{SecondTable(as_.p), &IID_IASBundle, as_.p, &IID_IRkBundle},
                   {rk_.p, &IID_IRkBundle, rk_.p, &IID_IASBundle},
                   {item_, &IID_IRKScanItem, item_, &IID_IRkBundle}};
    for (const auto& [counted, own, ownTable, refused] : objects) {
        void* out = nullptr;
        ASSERT_EQ(Slot<int32_t>(counted, 3, own, &out), RK_S_OK);
        EXPECT_EQ(out, ownTable);
        ASSERT_EQ(Slot<int32_t>(counted, 3, &IID_ISmartUnknown, &out), RK_S_OK);
        EXPECT_EQ(out, counted);
        EXPECT_EQ(Slot<int32_t>(counted, 3, refused, &out), RK_E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(Slot<uint32_t>(counted, 1), 4u);
        for (uint32_t left : {3u, 2u, 1u, 0u}) {
            EXPECT_EQ(Slot<uint32_t>(counted, 2), left);
        }
    }
    EXPECT_EQ(g_objectsDestroyed.load(), 3u);
    as_.p = nullptr;
    rk_.p = nullptr;
    item_ = nullptr;
}

}  // namespace bundle_test
