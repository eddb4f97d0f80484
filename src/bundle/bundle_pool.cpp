#include "bundle/bundle_pool.h"

#include <atomic>

#include "bundle/as_common_bundle.h"

namespace tierlock {
namespace {

constexpr size_t kSlotsPerKind = 4;

// One cache line per slot, so that threads starting at different slots do not share one.
struct alignas(64) Slot {
    std::atomic<ASCommonBundle*> bundle{nullptr};
};

Slot g_slots[kPooledBundleKinds][kSlotsPerKind];
std::atomic<uint32_t> g_nextThread{0};
// Each thread starts its search at a slot of its own; trivially destructible on purpose, as
// the host's threads may outlive the plug-in.
thread_local uint32_t t_firstSlot = ~0u;

size_t FirstSlot() noexcept {
    if (t_firstSlot == ~0u) {
        t_firstSlot = g_nextThread.fetch_add(1, std::memory_order_relaxed) % kSlotsPerKind;
    }
    return t_firstSlot;
}

// Idle bundles go when the plug-in's image does.
struct PoolCleanup {
    ~PoolCleanup() { ReleasePooledBundles(); }
} g_cleanup;

bool GiveBack(size_t kind, ASCommonBundle* bundle) noexcept {
    const size_t first = FirstSlot();
    for (size_t i = 0; i < kSlotsPerKind; ++i) {
        Slot& slot = g_slots[kind][(first + i) % kSlotsPerKind];
        ASCommonBundle* empty = nullptr;
        if (slot.bundle.load(std::memory_order_relaxed) == nullptr &&
            slot.bundle.compare_exchange_strong(empty, bundle, std::memory_order_acq_rel)) {
            return true;
        }
    }
    return false;
}

}  // namespace

PooledBundle::PooledBundle(size_t kind) noexcept : m_kind(kind % kPooledBundleKinds) {
    const size_t first = FirstSlot();
    for (size_t i = 0; i < kSlotsPerKind; ++i) {
        Slot& slot = g_slots[m_kind][(first + i) % kSlotsPerKind];
        if (slot.bundle.load(std::memory_order_relaxed) == nullptr) {
            continue;
        }
        // Taken out first: only a bundle this thread holds may be looked at.
        ASCommonBundle* idle = slot.bundle.exchange(nullptr, std::memory_order_acq_rel);
        if (!idle) {
            continue;
        }
        if (idle->HeldReferences() != 1) {  // the host still holds it
            if (!GiveBack(m_kind, idle)) {
                idle->Release();
            }
            continue;
        }
        m_bundle = idle;
        if (m_bundle->KeySetVersion() != m_bundle->pooledKeySetVersion) {
            m_bundle->Clear();  // the host changed the key set: start from none
        }
        return;
    }
    m_bundle = ASCommonBundle::CreateInstance();
    if (m_bundle) {
        m_bundle->AddRef();
    }
}

PooledBundle::~PooledBundle() {
    if (!m_bundle) {
        return;
    }
    m_bundle->pooledKeySetVersion = m_bundle->KeySetVersion();
    if (!GiveBack(m_kind, m_bundle)) {
        m_bundle->Release();
    }
}

IASBundle* PooledBundle::Get() const noexcept {
    return m_bundle;
}

void ReleasePooledBundles() noexcept {
    for (auto& kind : g_slots) {
        for (Slot& slot : kind) {
            if (ASCommonBundle* idle = slot.bundle.exchange(nullptr, std::memory_order_acq_rel)) {
                idle->Release();
            }
        }
    }
}

}  // namespace tierlock
