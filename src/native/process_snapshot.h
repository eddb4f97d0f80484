// A system-wide list of processes with their creation times, read through the native reader
// that fits the system and the plug-in's own width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "native/native_reader.h"
#include "platform/native_records.h"
#include "platform/processes.h"

namespace tierlock::native {

struct ProcessData {
    uint32_t pid = 0;
    uint32_t parentPid = 0;    // the process that created it
    std::u16string imageName;  // as the system reports it; may be empty
    uint64_t createTime = 0;   // FILETIME units (100 ns steps since 1601-01-01 UTC)
};

using ProcessList = std::vector<std::shared_ptr<ProcessData>>;

class ProcessSnapshot {
  public:
    // process is borrowed, not closed.
    explicit ProcessSnapshot(ProcessHandle process);
    ~ProcessSnapshot();
    ProcessSnapshot(const ProcessSnapshot&) = delete;
    ProcessSnapshot& operator=(const ProcessSnapshot&) = delete;

    // Every process of the system but the idle one, in no particular order; empty when the
    // list cannot be read.
    ProcessList EnumProcesses() const;
    // The creation time of the first listed process with pid, found without building the list.
    bool FindCreateTime(uint32_t pid, uint64_t* createTime) const;

    ProcessHandle process() const { return m_process; }
    uint32_t pid() const { return m_pid; }
    Native& reader() const { return *m_reader; }
    // Lowered device names ("\device\harddiskvolume1") to drives ("c:"), read at the first
    // call: a list read for creation times alone asks the system nothing about drives.
    const std::map<std::u16string, std::u16string>& deviceMap() const;

  private:
    // Reads the system's process information into a block of its own and hands the block and
    // its filled size to read; false when it cannot be read.
    template <class Read>
    bool ReadInformation(Read read) const;

    ProcessHandle m_process;
    uint32_t m_pid;
    std::unique_ptr<Native> m_reader;
    mutable std::optional<std::map<std::u16string, std::u16string>> m_deviceMap;
};

// The processes in a block of extended process information as the system library of this
// build's width fills it. Entries that lie outside the block end the walk.
ProcessList ReadProcessBlock(const void* block, size_t size);

}  // namespace tierlock::native
