// The process source: the parent of a process, its chain with each member's level pair and a
// level pair written back, answered by the event's process-information cache or by the process
// tree, whichever the event's target offers.
#pragma once

#include "procsource/process_source.h"
