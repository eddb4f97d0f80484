#include "native/process_snapshot.h"

#include <algorithm>
#include <cstring>

#include "platform/native_functions.h"
#include "platform/owned_block.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "platform/text.h"

namespace tierlock::native {

using namespace tierlock::platform;
namespace {

constexpr uint32_t kSystemExtendedProcessInformation = 57;
// Processes may start between the size probe and the read; a few larger reads then follow.
constexpr int kReadAttempts = 4;

// Memory committed for the system to fill, given back by whoever holds it.
struct CommittedMemory {
    static void* Allocate(size_t bytes) noexcept { return os::CommitBlock(bytes); }
    static void Release(void* block) noexcept { os::ReleaseBlock(block); }
};

std::unique_ptr<Native> ReaderFor(ProcessHandle process) {
    const std::optional<uint16_t> architecture = NativeProcessorArchitecture();
    if (architecture && *architecture == 0) {
        return std::make_unique<x86Native>(process);
    }
    bool wow64 = false;
    os::IsWow64Process(CurrentProcess(), &wow64);
    if (wow64) {
        return std::make_unique<NativeWow64>(process, false);
    }
    return std::make_unique<Native>(process, false);
}

std::map<std::u16string, std::u16string> ReadDeviceMap() {
    std::map<std::u16string, std::u16string> devices;
    for (char16_t letter = u'a'; letter <= u'z'; ++letter) {
        const char16_t drive[3] = {letter, u':', u'\0'};
        char16_t target[kMaxPathChars] = {};
        const uint32_t length = os::DosDevice(drive, target, kMaxPathChars);
        if (length == 0) {
            continue;
        }
        // The first of the multi-string answer is the device the drive names.
        target[kMaxPathChars - 1] = u'\0';
        devices.emplace(ToLowerAscii(target), drive);
    }
    return devices;
}

// The image name that an entry's counted string points to, when it lies within the block.
std::u16string ImageName(const ProcessInformationEntry& entry, const unsigned char* block,
                         size_t size) {
    const auto name = reinterpret_cast<uintptr_t>(entry.imageNameBuffer);
    const auto start = reinterpret_cast<uintptr_t>(block);
    if (!name || name < start || name >= start + size) {
        return {};
    }
    const size_t available = (start + size - name) / sizeof(char16_t);
    const size_t units = std::min<size_t>(entry.imageNameLength / sizeof(char16_t), available);
    std::u16string text(units, u'\0');
    std::memcpy(text.data(), block + (name - start), units * sizeof(char16_t));
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
}

// Hands every entry of a real process (not the idle one) to visit until it answers true.
template <class Visit>
void WalkProcessBlock(const void* block, size_t size, Visit visit) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    size_t offset = 0;
    while (block && size >= sizeof(ProcessInformationEntry) &&
           offset <= size - sizeof(ProcessInformationEntry)) {
        ProcessInformationEntry entry;
        std::memcpy(&entry, bytes + offset, sizeof(entry));
        if (entry.uniqueProcessId != 0 && visit(entry)) {
            return;
        }
        // An offset past the block's end ends the walk before it is added, so the sum can
        // never wrap a 32-bit size and lead the walk back to entries already read.
        if (entry.nextEntryOffset == 0 || entry.nextEntryOffset > size - offset) {
            break;
        }
        offset += entry.nextEntryOffset;
    }
}

}  // namespace

ProcessList ReadProcessBlock(const void* block, size_t size) {
    ProcessList processes;
    WalkProcessBlock(block, size, [&](const ProcessInformationEntry& entry) {
        auto data = std::make_shared<ProcessData>();
        data->pid = static_cast<uint32_t>(entry.uniqueProcessId);
        data->parentPid = static_cast<uint32_t>(entry.inheritedFromUniqueProcessId);
        data->imageName = ImageName(entry, static_cast<const unsigned char*>(block), size);
        data->createTime = entry.createTime;
        processes.push_back(std::move(data));
        return false;
    });
    return processes;
}

ProcessSnapshot::ProcessSnapshot(ProcessHandle process)
    : m_process(process), m_pid(os::GetProcessId(process)), m_reader(ReaderFor(process)) {}

ProcessSnapshot::~ProcessSnapshot() = default;

const std::map<std::u16string, std::u16string>& ProcessSnapshot::deviceMap() const {
    if (!m_deviceMap) {
        m_deviceMap = ReadDeviceMap();
    }
    return *m_deviceMap;
}

template <class Read>
bool ProcessSnapshot::ReadInformation(Read read) const {
    uint32_t needed = 0;
    NtStatus status =
        m_reader->QuerySystemInfo(kSystemExtendedProcessInformation, nullptr, 0, &needed);
    for (int attempt = 0; attempt < kReadAttempts && !NtSuccess(status) && needed > 0; ++attempt) {
        // Released on every way out, a failure to read the block included.
        const OwnedBlock<unsigned char, CommittedMemory> block =
            MakeZeroedBlock<unsigned char, CommittedMemory>(needed);
        if (!block) {
            return false;
        }
        uint32_t returned = 0;
        status = m_reader->QuerySystemInfo(kSystemExtendedProcessInformation, block.get(), needed,
                                           &returned);
        if (NtSuccess(status)) {
            const uint32_t filled = (returned > 0 && returned < needed) ? returned : needed;
            read(block.get(), filled);
            return true;
        }
        if (status != kStatusInfoLengthMismatch || returned <= needed ||
            returned > UINT32_MAX / 2) {
            return false;
        }
        // The list grew: ask for what it needs now, with room for a few more processes.
        needed = returned + returned / 4;
    }
    return false;
}

ProcessList ProcessSnapshot::EnumProcesses() const {
    ProcessList processes;
    ReadInformation(
        [&](const void* block, size_t size) { processes = ReadProcessBlock(block, size); });
    return processes;
}

bool ProcessSnapshot::FindCreateTime(uint32_t pid, uint64_t* createTime) const {
    bool found = false;
    ReadInformation([&](const void* block, size_t size) {
        WalkProcessBlock(block, size, [&](const ProcessInformationEntry& entry) {
            found = static_cast<uint32_t>(entry.uniqueProcessId) == pid;
            if (found) {
                *createTime = entry.createTime;
            }
            return found;
        });
    });
    return found;
}

}  // namespace tierlock::native
