// The native process readers: readers of the system's own width, WOW64 readers with the call
// gate into the 64-bit system library, the table of system functions they call and the
// system-wide process list read through them. This is the folder's one entry point; nothing
// else of it is included from outside.
#pragma once

#include <cstdint>

namespace tierlock::native {

// The creation time (FILETIME units) of process pid as the system's process list gives it, read
// through the reader that fits the system and the plug-in's own width. False, with nothing
// written, when the list does not name the process or cannot be read.
bool ListedProcessCreateTime(uint32_t pid, uint64_t* fileTime);

}  // namespace tierlock::native
