// The one simulated process tree of a test process. The plug-in's tree helper is process-wide
// and keeps the first pair of services it is given, so every test, fuzz input and benchmark of
// a process shares this tree; it is never destroyed, since the helper points at it to the end.
#pragma once

#include "simhost/proc_tree.h"

namespace testsupport {

// Made, and handed to the tree helper, on first use.
simhost::ProcessTree& SharedProcessTree();

}  // namespace testsupport
