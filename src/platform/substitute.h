// What tests tell the substitute that stands in for Windows off Windows. These setters exist
// only in that build: on Windows the real functions answer and nothing can be set.
#pragma once

#if defined(_WIN32)
#error "the substitute and its setters exist only in builds for other systems"
#endif

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tierlock::platform {

// The Windows directory, and short names that GetLongPathNameW expands (matched ignoring case,
// as a whole path).
void SetSubstituteWindowsDirectory(const std::u16string& directory);
void SetSubstituteLongPathName(const std::u16string& shortPath, const std::u16string& longPath);
void ClearSubstituteLongPathNames();

// What NativeProcessorArchitecture answers.
void SetSubstituteArchitecture(std::optional<uint16_t> architecture);

// A module that counts as loaded under name (matched ignoring case), and the exports found in
// it by name.
void SetSubstituteModule(const std::u16string& name, void* module);
void SetSubstituteExport(void* module, const std::string& name, void* address);
void ClearSubstituteModules();

// What QueryDosDeviceW answers for a drive ("Z:"); an empty target removes the drive.
void SetSubstituteDosDevice(const std::u16string& drive, const std::u16string& target);

// The processes of the system.
struct SubstituteProcess {
    uint32_t pid = 0;
    uint32_t parentPid = 0;
    std::u16string imageName;
    uint64_t createTime = 0;  // FILETIME units
    bool openFull = true;     // OpenProcess with kProcessQueryAndRead succeeds
    bool openLimited = true;  // OpenProcess with kProcessQueryLimited succeeds
    bool timesReadable = true;
    bool listed = true;  // appears in the system's process list
};
void SetSubstituteProcesses(std::vector<SubstituteProcess> processes);
// The current process runs under WOW64 (what IsWow64Process answers for it).
void SetSubstituteWow64(bool wow64);
// The next reads process-list reads each find processesPerRead more processes than the call
// before them reported, as when processes start between the size probe and the read.
void SetSubstituteProcessListGrowth(uint32_t reads, uint32_t processesPerRead);
// Handles opened and not yet closed.
uint32_t SubstituteOpenHandles();
// Blocks committed (VirtualAlloc) and not yet released.
uint32_t SubstituteCommittedBlocks();

}  // namespace tierlock::platform
