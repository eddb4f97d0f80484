// The plug-in's property bundles: the factories that make them. Their interfaces, ids and
// status values are shared with the host and declared in abi/bundle.h.
#pragma once

#include <cstdint>

#include "abi/bundle.h"

namespace tierlock {

// Each factory writes a new object holding one reference for the caller and answers
// RK_S_OK, or answers RK_E_INVALIDARG (null out) or RK_E_OUTOFMEMORY and writes null.
[[nodiscard]] int32_t CreateBundle(IASBundle** out) noexcept;
[[nodiscard]] int32_t CreateRkBundle(IRkBundle** out) noexcept;
[[nodiscard]] int32_t CreateScanItem(IRKScanItem** out) noexcept;

}  // namespace tierlock
