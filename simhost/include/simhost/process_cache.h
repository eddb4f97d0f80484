// The host's process-information cache: processes keyed by pid and creation time, with named
// properties, 544-byte records and process chains. Records every write, and can be told to
// answer the hostile sizes a faulty host might.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "abi/host.h"
#include "abi/records.h"

namespace simhost {

class ProcessCache final : public IRKProcessTreeCache {
  public:
    struct Write {
        uint32_t pid;
        std::optional<uint64_t> createTime;  // empty when the plug-in passed no time
        std::string name;
        std::vector<uint8_t> data;
        uint32_t reserved;
    };

    // A process; createTime empty means the entry answers for any creation time.
    void AddProcess(uint32_t pid, std::optional<uint64_t> createTime, uint32_t parentPid,
                    const std::u16string& path);
    void SetInt(uint32_t pid, const std::string& name, int32_t value);
    void SetUInt64(uint32_t pid, const std::string& name, uint64_t value);
    // The chain the host answers for pid, in the host's order.
    void SetChain(uint32_t pid, const std::vector<uint32_t>& pids);
    // For a pid without a chain of its own: the process, its parent and so on up to the oldest
    // known ancestor.
    void AnswerChainsFromParents() { chainsFromParents_ = true; }
    // Hostile answers: the count the first chain call reports, and failing the second call.
    std::optional<uint32_t> chainCountOverride;
    bool failChainFill = false;
    // A faulty host: value reads answer true with this size, whatever the value's size.
    std::optional<uint32_t> valueSizeOverride;

    std::vector<Write> writes() const;
    // Creation times the plug-in passed to reads, in order (empty: a null pointer).
    std::vector<std::optional<uint64_t>> readTimes() const;
    std::optional<int32_t> Int(uint32_t pid, const std::string& name) const;
    // Calls of any operation, and the pids GetProcessInfo was asked about.
    size_t calls() const;
    std::vector<uint32_t> infoRequests() const;
    // Forgets the writes, read times and requests recorded so far, for a long run.
    void ClearRecords();

    bool RK_CALL GetProcessInfo(uint32_t pid, const uint64_t* createTime, void* record544) override;
    bool RK_CALL GetProcessValue(uint32_t pid, const uint64_t* createTime, const char* name,
                                 void* value, uint32_t* size) override;
    bool RK_CALL SetProcessValue(uint32_t pid, const uint64_t* createTime, const char* name,
                                 const void* data, uint32_t size, uint32_t reserved) override;
    bool RK_CALL GetProcessChain(uint32_t pid, uint32_t reserved, void* records,
                                 uint32_t* count) override;

  private:
    struct Process {
        std::optional<uint64_t> createTime;
        tierlock::RkProcessInfoRecord record{};
        std::map<std::string, std::vector<uint8_t>> properties;
    };
    Process* Find(uint32_t pid, const uint64_t* createTime);
    const std::vector<uint32_t>* ChainOf(uint32_t pid);

    mutable std::mutex mutex_;
    std::map<uint32_t, Process> processes_;
    std::map<uint32_t, std::vector<uint32_t>> chains_;
    bool chainsFromParents_ = false;
    std::vector<uint32_t> derivedChain_;
    std::vector<Write> writes_;
    std::vector<std::optional<uint64_t>> readTimes_;
    size_t calls_ = 0;
    std::vector<uint32_t> infoRequests_;
};

}  // namespace simhost
