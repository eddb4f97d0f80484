// Level resolution: the level pairs the matching compares, from the target's files, the parent
// and the process chain, corrected by the trust query and completed by the cloud.
#pragma once

#include "levels/level_resolver.h"
