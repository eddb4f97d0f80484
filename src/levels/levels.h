// Level resolution: where each level the matching compares comes from.
#pragma once

#include "levels/level_resolver.h"
#include "levels/trust_query.h"
