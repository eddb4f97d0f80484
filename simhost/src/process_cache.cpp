#include "simhost/process_cache.h"

#include <algorithm>
#include <cstring>

namespace simhost {

void ProcessCache::AddProcess(uint32_t pid, std::optional<uint64_t> createTime, uint32_t parentPid,
                              const std::u16string& path) {
    std::lock_guard lock(mutex_);
    Process& process = processes_[pid];
    process.createTime = createTime;
    process.record.processId = pid;
    process.record.createTime = createTime.value_or(0);
    process.record.parentProcessId = parentPid;
    // A path of 260 units or more fills the field with no terminator, and the word after it is
    // not one either: a host record need not end inside its path.
    const size_t length = std::min<size_t>(path.size(), 260);
    std::memcpy(process.record.imagePath, path.data(), length * sizeof(char16_t));
    process.record.reserved540 = 0xFFFFFFFFu;
}

void ProcessCache::SetInt(uint32_t pid, const std::string& name, int32_t value) {
    std::lock_guard lock(mutex_);
    auto& bytes = processes_[pid].properties[name];
    bytes.resize(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
}

void ProcessCache::SetUInt64(uint32_t pid, const std::string& name, uint64_t value) {
    std::lock_guard lock(mutex_);
    auto& bytes = processes_[pid].properties[name];
    bytes.resize(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
}

void ProcessCache::SetChain(uint32_t pid, const std::vector<uint32_t>& pids) {
    std::lock_guard lock(mutex_);
    chains_[pid] = pids;
}

std::vector<ProcessCache::Write> ProcessCache::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::vector<std::optional<uint64_t>> ProcessCache::readTimes() const {
    std::lock_guard lock(mutex_);
    return readTimes_;
}

std::optional<int32_t> ProcessCache::Int(uint32_t pid, const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto process = processes_.find(pid);
    if (process == processes_.end()) {
        return std::nullopt;
    }
    auto property = process->second.properties.find(name);
    if (property == process->second.properties.end() || property->second.size() != 4) {
        return std::nullopt;
    }
    int32_t value;
    std::memcpy(&value, property->second.data(), sizeof(value));
    return value;
}

void ProcessCache::ClearRecords() {
    std::lock_guard lock(mutex_);
    writes_.clear();
    readTimes_.clear();
    infoRequests_.clear();
}

size_t ProcessCache::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<uint32_t> ProcessCache::infoRequests() const {
    std::lock_guard lock(mutex_);
    return infoRequests_;
}

ProcessCache::Process* ProcessCache::Find(uint32_t pid, const uint64_t* createTime) {
    auto it = processes_.find(pid);
    if (it == processes_.end()) {
        return nullptr;
    }
    Process& process = it->second;
    if (createTime && process.createTime && *process.createTime != *createTime) {
        return nullptr;  // another process that once had this pid
    }
    return &process;
}

bool RK_CALL ProcessCache::GetProcessInfo(uint32_t pid, const uint64_t* createTime,
                                          void* record544) {
    std::lock_guard lock(mutex_);
    ++calls_;
    infoRequests_.push_back(pid);
    Process* process = Find(pid, createTime);
    if (!process || !record544) {
        return false;
    }
    std::memcpy(record544, &process->record, sizeof(process->record));
    return true;
}

bool RK_CALL ProcessCache::GetProcessValue(uint32_t pid, const uint64_t* createTime,
                                           const char* name, void* value, uint32_t* size) {
    std::lock_guard lock(mutex_);
    ++calls_;
    readTimes_.push_back(createTime ? std::optional<uint64_t>(*createTime) : std::nullopt);
    Process* process = Find(pid, createTime);
    if (!process || !name || !size) {
        return false;
    }
    auto property = process->properties.find(name);
    if (property == process->properties.end()) {
        return false;
    }
    const auto& bytes = property->second;
    if (valueSizeOverride && value) {
        std::memcpy(value, bytes.data(), std::min<size_t>(bytes.size(), *size));
        *size = *valueSizeOverride;
        return true;
    }
    if (!value || *size < bytes.size()) {
        *size = static_cast<uint32_t>(bytes.size());
        return false;
    }
    std::memcpy(value, bytes.data(), bytes.size());
    *size = static_cast<uint32_t>(bytes.size());
    return true;
}

bool RK_CALL ProcessCache::SetProcessValue(uint32_t pid, const uint64_t* createTime,
                                           const char* name, const void* data, uint32_t size,
                                           uint32_t reserved) {
    std::lock_guard lock(mutex_);
    ++calls_;
    if (!name || (!data && size != 0)) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> copy(bytes, bytes + size);
    writes_.push_back({pid, createTime ? std::optional<uint64_t>(*createTime) : std::nullopt, name,
                       copy, reserved});
    Process* process = Find(pid, createTime);
    if (!process) {
        return false;
    }
    process->properties[name] = std::move(copy);
    return true;
}

const std::vector<uint32_t>* ProcessCache::ChainOf(uint32_t pid) {
    if (auto chain = chains_.find(pid); chain != chains_.end()) {
        return &chain->second;
    }
    if (!chainsFromParents_ || processes_.find(pid) == processes_.end()) {
        return nullptr;
    }
    derivedChain_.clear();
    // Bounded by the number of processes, so that a loop of parents ends.
    for (auto at = processes_.find(pid);
         at != processes_.end() && derivedChain_.size() < processes_.size();
         at = processes_.find(at->second.record.parentProcessId)) {
        derivedChain_.push_back(at->first);
        if (at->second.record.parentProcessId == 0) {
            break;
        }
    }
    return &derivedChain_;
}

bool RK_CALL ProcessCache::GetProcessChain(uint32_t pid, uint32_t, void* records, uint32_t* count) {
    std::lock_guard lock(mutex_);
    ++calls_;
    const std::vector<uint32_t>* chain = ChainOf(pid);
    if (!count || !chain) {
        return false;
    }
    if (!records) {
        *count = chainCountOverride.value_or(static_cast<uint32_t>(chain->size()));
        return true;
    }
    if (failChainFill) {
        return false;
    }
    auto* out = static_cast<tierlock::RkProcessInfoRecord*>(records);
    const size_t n = std::min<size_t>(*count, chain->size());
    for (size_t i = 0; i < n; ++i) {
        auto process = processes_.find((*chain)[i]);
        if (process != processes_.end()) {
            out[i] = process->second.record;
        }
    }
    *count = static_cast<uint32_t>(n);
    return true;
}

}  // namespace simhost
