#include "native/native.h"

#include "native/process_snapshot.h"

namespace tierlock::native {

bool ListedProcessCreateTime(uint32_t pid, uint64_t* fileTime) {
    const ProcessSnapshot snapshot(platform::CurrentProcess());
    for (const auto& process : snapshot.EnumProcesses()) {
        if (process && process->pid == pid) {
            *fileTime = process->createTime;
            return true;
        }
    }
    return false;
}

}  // namespace tierlock::native
