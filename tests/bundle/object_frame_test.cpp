// The reference-counting frame every object shares, reached through the tables the host holds.
#include "bundle/bundle_pool.h"
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

// A pooled bundle is handed out again only once the host has let go of it, with the key set it
// was given back with, or emptied when the host changed that set meanwhile.
TEST_F(BundleTest, PooledBundlesTheHostStillHoldsAreNotReused) {
    IASBundle* held = nullptr;
    {
        const tierlock::PooledBundle first(0);
        held = first.Get();
        held->PutInt("update_process_level", 1);
        held->AddRef();  // the host keeps it
    }
    {
        const tierlock::PooledBundle other(0);
        EXPECT_NE(other.Get(), held);
    }
    held->Release();
    uint32_t count = 0;
    {
        const tierlock::PooledBundle again(0);
        EXPECT_EQ(again.Get(), held);
        EXPECT_EQ((std::pair{held->GetCount(&count), count}), std::pair(RK_S_OK, 1u));
        held->AddRef();
    }
    held->PutInt("added", 1);
    held->Release();
    {
        const tierlock::PooledBundle last(0);
        EXPECT_EQ(last.Get(), held);
        EXPECT_EQ((std::pair{held->GetCount(&count), count}), std::pair(RK_S_OK, 0u));
    }
    tierlock::ReleasePooledBundles();
}

}  // namespace bundle_test
