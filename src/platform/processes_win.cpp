#include <windows.h>

#include "platform/processes.h"

namespace tierlock::platform {
namespace {

uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

ProcessHandle CurrentProcess() {
    return ::GetCurrentProcess();
}

uint32_t CurrentProcessId() {
    return ::GetCurrentProcessId();
}

ProcessHandle OpenProcess(uint32_t access, bool inheritHandle, uint32_t pid) {
    return ::OpenProcess(access, inheritHandle ? TRUE : FALSE, pid);
}

bool GetProcessTimes(ProcessHandle process, uint64_t* creation, uint64_t* exit, uint64_t* kernel,
                     uint64_t* user) {
    FILETIME times[4] = {};
    if (!::GetProcessTimes(process, &times[0], &times[1], &times[2], &times[3])) {
        return false;
    }
    *creation = Ticks(times[0]);
    *exit = Ticks(times[1]);
    *kernel = Ticks(times[2]);
    *user = Ticks(times[3]);
    return true;
}

bool CloseHandle(ProcessHandle handle) {
    return ::CloseHandle(handle) != FALSE;
}

}  // namespace tierlock::platform
