#include "bundle_support.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace bundle_test {

namespace {

struct Ledger {
    std::mutex mutex;
    std::unordered_map<void*, tierlock::MemoryKind> live;
    MemoryCounts counts;
};

Ledger& TheLedger() {
    static Ledger ledger;
    return ledger;
}

void* Allocate(tierlock::MemoryKind kind, size_t size) {
    if (kind == tierlock::MemoryKind::Value && g_failValues.load()) {
        return nullptr;
    }
    void* block = std::malloc(size);
    Ledger& ledger = TheLedger();
    std::lock_guard lock(ledger.mutex);
    ledger.live.emplace(block, kind);
    if (kind == tierlock::MemoryKind::Object) {
        ++ledger.counts.objectsConstructed;
    } else {
        ++ledger.counts.valuesLive;
    }
    return block;
}

void Release(tierlock::MemoryKind kind, void* block) {
    Ledger& ledger = TheLedger();
    std::lock_guard lock(ledger.mutex);
    const auto it = ledger.live.find(block);
    if (it == ledger.live.end() || it->second != kind) {
        ++ledger.counts.unknownReleases;
        return;
    }
    ledger.live.erase(it);
    if (kind == tierlock::MemoryKind::Object) {
        ++ledger.counts.objectsDestroyed;
    } else {
        --ledger.counts.valuesLive;
    }
    std::free(block);
}

const tierlock::BundleMemory kCountingMemory{Allocate, Release};

}  // namespace

MemoryCounts Counts() {
    Ledger& ledger = TheLedger();
    std::lock_guard lock(ledger.mutex);
    return ledger.counts;
}

void BundleTest::SetUp() {
    {
        Ledger& ledger = TheLedger();
        std::lock_guard lock(ledger.mutex);
        ledger.counts = {};
    }
    g_failValues = false;
    tierlock::SetBundleMemory(&kCountingMemory);
}

void BundleTest::TearDown() {
    const MemoryCounts counts = Counts();
    EXPECT_EQ(counts.objectsDestroyed, counts.objectsConstructed);
    EXPECT_EQ(counts.valuesLive, 0u);
    EXPECT_EQ(counts.unknownReleases, 0u);
    tierlock::SetBundleMemory(nullptr);
    // Blocks a failed test left alive came from malloc, so the default release still fits.
}

}  // namespace bundle_test
