// The creation time of a process known only by its id, for naming that process to the trust
// query: from the process's own times when it can be opened, else from the system's process
// list.
#pragma once

#include <cstdint>

namespace tierlock {

// Milliseconds since 1970-01-01 UTC from a FILETIME (100 ns steps since 1601-01-01 UTC);
// earlier times give 0.
uint64_t FileTimeToUnixMillis(uint64_t fileTime);

// True when a creation time was found; createTime is written only then.
bool GetCreatetime(uint32_t pid, uint64_t* createTime);

}  // namespace tierlock
