// Parameter bundles for questions the plug-in asks the host again and again, reused instead of
// made anew. A bundle is handed out again only when the pool holds the one reference left: a
// bundle the host still holds is never reused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/bundle.h"

namespace tierlock {

class ASCommonBundle;

// Each kind is one fixed key set; a reused bundle still holds that set unless the host added
// a key or cleared it meanwhile, in which case it comes back empty.
inline constexpr size_t kPooledBundleKinds = 6;

class PooledBundle {
  public:
    // An idle bundle of kind, or a new one; empty when none can be made.
    explicit PooledBundle(size_t kind) noexcept;
    // Gives the bundle back, or lets it go when every slot is taken.
    ~PooledBundle();
    PooledBundle(const PooledBundle&) = delete;
    PooledBundle& operator=(const PooledBundle&) = delete;

    IASBundle* Get() const noexcept;
    // The same bundle as this plug-in's own type, for its batch operations.
    ASCommonBundle* Own() const noexcept { return m_bundle; }
    explicit operator bool() const noexcept { return m_bundle != nullptr; }

  private:
    size_t m_kind;
    ASCommonBundle* m_bundle = nullptr;
};

// Lets go of every idle bundle; one the host still holds is freed by its last release.
void ReleasePooledBundles() noexcept;

}  // namespace tierlock
