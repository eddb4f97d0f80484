// The trust (anti-false-positive) query and the creation-time reader that names a process to
// it: the corrections both level resolution and the report ask for.
#pragma once

#include "trust/create_time.h"
#include "trust/trust_query.h"
