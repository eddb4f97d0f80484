// Reading what the host hands to an event: its target, the settled-event flags and items.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "abi/host.h"
#include "abi/records.h"

namespace tierlock {

// Target property ids read as 32-bit values.
inline constexpr uint32_t kPropertyDangerousEvent = 2;
inline constexpr uint32_t kPropertyPassEvent = 4;

// Item types in the order they are walked; 1 is the source item, 8 the destination item.
inline constexpr std::array<uint32_t, 8> supportTypes = {1, 2, 4, 8, 16, 32, 64, 0x80000000u};
// The type that fetches the dangerous item, and the masks that ask for it.
inline constexpr uint32_t kDangerousItemType = 0xFFFF;

// The event's target from the rule engine, or null (logged).
IRkRuleTarget* GetTarget(IRkRuleEngine* ruleEng);

// The host has already settled the event as allowed (property 4) / reported it (property 2).
bool isPassEvent(IRkRuleTarget* target);
bool isDangerousEvent(IRkRuleTarget* target);

// Appends the target's items of the types in mask; true when the list is non-empty.
bool GetTargetItemByType(IRkRuleTarget* target, uint32_t mask, std::vector<RkItemRecord*>& items);

}  // namespace tierlock
