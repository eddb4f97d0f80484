#include "native/native.h"

#include "native/process_snapshot.h"

namespace tierlock::native {

bool ListedProcessCreateTime(uint32_t pid, uint64_t* fileTime) {
    return ProcessSnapshot(platform::CurrentProcess()).FindCreateTime(pid, fileTime);
}

}  // namespace tierlock::native
