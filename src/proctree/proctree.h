// Typed access to the host's process tree.
#pragma once

#include "proctree/cache_helper.h"
#include "proctree/proc_tree_helper.h"
