// The event target's items by type: where the report finds the danger and destination items.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "abi/host.h"
#include "abi/records.h"

namespace tierlock {

// Item types in the order they are walked; 1 is the source item, 8 the destination item.
inline constexpr std::array<uint32_t, 8> supportTypes = {1, 2, 4, 8, 16, 32, 64, 0x80000000u};
// The type that fetches the dangerous item, and the masks that ask for it.
inline constexpr uint32_t kDangerousItemType = 0xFFFF;

// Appends the target's items of the types in mask; true when the list is non-empty.
bool GetTargetItemByType(IRkRuleTarget* target, uint32_t mask, std::vector<RkItemRecord*>& items);

}  // namespace tierlock
