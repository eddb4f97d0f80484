// What the plug-in needs from the operating system. This folder is the only code that touches
// Windows; elsewhere a substitute behaves as the Windows functions do for what the plug-in
// relies on, and tests can configure it.
#pragma once

#include "platform/clock.h"
#include "platform/critical_section.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "platform/text.h"
