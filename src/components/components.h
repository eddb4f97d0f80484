// The host's base components, used only when they are already loaded in the process: the
// loader holder behind the compatibility exports and the digest text component.
#pragma once

#include "components/base_components.h"
