// Level resolution: where each level the matching compares comes from.
#pragma once

#include "levels/trust_query.h"
