// Event evaluation: the event record, its inputs, and the last-stage handler.
#pragma once

#include "engine/event_inputs.h"
#include "engine/event_record.h"
