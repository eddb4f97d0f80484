// Event evaluation: the event record, its inputs, and the last-stage handler.
#pragma once

#include "abi/records.h"
#include "engine/event_inputs.h"
#include "engine/last_event.h"
