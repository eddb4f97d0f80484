// A process table set by tests stands in for the system's processes: opening, times, the
// system's process list and the WOW64 answer come from it.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/native_functions.h"
#include "platform/native_records.h"
#include "platform/processes.h"
#include "platform/substitute.h"
#include "platform/substitute_ntdll.h"

namespace tierlock::platform {
namespace {

constexpr uint32_t kSystemExtendedProcessInformation = 57;
constexpr NtStatus kStatusInvalidHandle = 0xC0000008;
constexpr NtStatus kStatusInvalidInfoClass = 0xC0000003;
constexpr uint32_t kFirstGrownPid = 100000;

struct OpenHandle {
    uint32_t pid;
};

struct SubstituteState {
    std::mutex mutex;
    std::vector<SubstituteProcess> processes;
    std::set<OpenHandle*> handles;
    bool wow64 = false;
    uint32_t growthReads = 0;
    uint32_t growthPerRead = 0;
    uint32_t grownProcesses = 0;
};

SubstituteState& State() {
    static SubstituteState state;
    return state;
}

ProcessHandle PseudoHandle() {
    return reinterpret_cast<ProcessHandle>(static_cast<intptr_t>(-1));
}

// The pid a handle stands for; 0 for a handle that is not open.
uint32_t PidOf(SubstituteState& state, ProcessHandle handle) {
    if (handle == PseudoHandle()) {
        return CurrentProcessId();
    }
    auto* open = static_cast<OpenHandle*>(handle);
    return state.handles.count(open) ? open->pid : 0;
}

const SubstituteProcess* Find(const SubstituteState& state, uint32_t pid) {
    const auto found = std::find_if(state.processes.begin(), state.processes.end(),
                                    [pid](const SubstituteProcess& p) { return p.pid == pid; });
    return found == state.processes.end() ? nullptr : &*found;
}

size_t RoundUp8(size_t size) {
    return (size + 7) & ~size_t{7};
}

size_t EntrySize(const SubstituteProcess& process) {
    return RoundUp8(sizeof(ProcessInformationEntry) +
                    (process.imageName.size() + 1) * sizeof(char16_t));
}

}  // namespace

ProcessHandle CurrentProcess() {
    return PseudoHandle();
}

uint32_t CurrentProcessId() {
    // Read once, as the system's own answer is a plain memory read, not a system call.
    static const uint32_t pid = static_cast<uint32_t>(getpid());
    return pid;
}

ProcessHandle OpenProcess(uint32_t access, bool, uint32_t pid) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    const SubstituteProcess* process = Find(state, pid);
    const bool allowed = process && ((access == kProcessQueryAndRead && process->openFull) ||
                                     (access == kProcessQueryLimited && process->openLimited));
    if (!allowed) {
        os::SetLastErrorCode(87);  // ERROR_INVALID_PARAMETER, as for a pid that is gone
        return nullptr;
    }
    auto* handle = new OpenHandle{pid};
    state.handles.insert(handle);
    return handle;
}

bool GetProcessTimes(ProcessHandle process, uint64_t* creation, uint64_t* exit, uint64_t* kernel,
                     uint64_t* user) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    const SubstituteProcess* found = Find(state, PidOf(state, process));
    if (!found || !found->timesReadable) {
        return false;
    }
    *creation = found->createTime;
    *exit = *kernel = *user = 0;
    return true;
}

bool CloseHandle(ProcessHandle handle) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    auto* open = static_cast<OpenHandle*>(handle);
    if (!state.handles.erase(open)) {
        return false;
    }
    delete open;
    return true;
}

void SetSubstituteProcesses(std::vector<SubstituteProcess> processes) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    state.processes = std::move(processes);
}

void SetSubstituteWow64(bool wow64) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    state.wow64 = wow64;
}

void SetSubstituteProcessListGrowth(uint32_t reads, uint32_t processesPerRead) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    state.growthReads = reads;
    state.growthPerRead = processesPerRead;
}

uint32_t SubstituteOpenHandles() {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    return static_cast<uint32_t>(state.handles.size());
}

namespace os {

bool IsWow64Process(void* process, bool* wow64) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    *wow64 = process == PseudoHandle() && state.wow64;
    return true;
}

uint32_t GetProcessId(void* process) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    return PidOf(state, process);
}

}  // namespace os

namespace substitute {

NtStatus TL_NTAPI NtQuerySystemInformation(uint32_t infoClass, void* buffer, uint32_t size,
                                           uint32_t* returnSize) {
    if (infoClass != kSystemExtendedProcessInformation) {
        return kStatusInvalidInfoClass;
    }
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    if (buffer && state.growthReads > 0) {
        --state.growthReads;
        for (uint32_t i = 0; i < state.growthPerRead; ++i) {
            const uint32_t pid = kFirstGrownPid + state.grownProcesses++;
            state.processes.push_back({pid, 4, u"started.exe", 0});
        }
    }
    size_t needed = 0;
    for (const SubstituteProcess& process : state.processes) {
        needed += process.listed ? EntrySize(process) : 0;
    }
    if (returnSize) {
        *returnSize = static_cast<uint32_t>(needed);
    }
    if (!buffer || size < needed) {
        return kStatusInfoLengthMismatch;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::memset(bytes, 0, needed);
    size_t offset = 0;
    ProcessInformationEntry* last = nullptr;
    for (const SubstituteProcess& process : state.processes) {
        if (!process.listed) {
            continue;
        }
        auto* entry = reinterpret_cast<ProcessInformationEntry*>(bytes + offset);
        auto* name = reinterpret_cast<char16_t*>(entry + 1);
        std::memcpy(name, process.imageName.c_str(),
                    (process.imageName.size() + 1) * sizeof(char16_t));
        entry->nextEntryOffset = static_cast<uint32_t>(EntrySize(process));
        entry->createTime = process.createTime;
        entry->imageNameLength = static_cast<uint16_t>(process.imageName.size() * 2);
        entry->imageNameMaximumLength = entry->imageNameLength + 2;
        entry->imageNameBuffer = process.imageName.empty() ? nullptr : name;
        entry->uniqueProcessId = process.pid;
        entry->inheritedFromUniqueProcessId = process.parentPid;
        offset += entry->nextEntryOffset;
        last = entry;
    }
    if (last) {
        last->nextEntryOffset = 0;
    }
    return kStatusSuccess;
}

NtStatus TL_NTAPI NtQueryInformationProcess(void* process, uint32_t infoClass, void* buffer,
                                            uint32_t size, uint32_t* returnSize) {
    using BasicInformation = ProcessBasicInformation;
    if (infoClass != 0) {
        return kStatusInvalidInfoClass;
    }
    if (size < sizeof(BasicInformation)) {
        return kStatusInfoLengthMismatch;
    }
    const uint32_t pid = os::GetProcessId(process);
    if (!pid) {
        return kStatusInvalidHandle;
    }
    BasicInformation information = {};
    information.uniqueProcessId = pid;
    std::memcpy(buffer, &information, sizeof(information));
    if (returnSize) {
        *returnSize = sizeof(information);
    }
    return kStatusSuccess;
}

}  // namespace substitute
}  // namespace tierlock::platform
