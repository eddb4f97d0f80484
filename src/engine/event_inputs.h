// Reading what the host hands to an event: its target and the settled-event flags.
#pragma once

#include <cstdint>

#include "abi/host.h"
#include "abi/records.h"

namespace tierlock {

// Target property ids read as 32-bit values.
inline constexpr uint32_t kPropertyDangerousEvent = 2;
inline constexpr uint32_t kPropertyPassEvent = 4;

// The event's target from the rule engine, or null (logged).
IRkRuleTarget* GetTarget(IRkRuleEngine* ruleEng);

// The host has already settled the event as allowed (property 4) / reported it (property 2).
bool isPassEvent(IRkRuleTarget* target);
bool isDangerousEvent(IRkRuleTarget* target);

}  // namespace tierlock
