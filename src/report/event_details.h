// The detail writers of a target list entry: the file identity (level and digests), the
// registry operation of a registry event and the processes of a process-creation event.
#pragma once

#include <string>

#include "abi/records.h"
#include "abi/report_records.h"
#include "report/report_sources.h"

namespace tierlock {

// Registry operations of a registry event.
inline constexpr int32_t kRegistryCreateKey = 1;
inline constexpr int32_t kRegistryRenameKey = 5;
inline constexpr int32_t kRegistrySetValue = 6;
inline constexpr int32_t kRegistryDeleteValue = 7;

// Process-event operation that creates a process.
inline constexpr int32_t kProcessCreate = 1;

// The path the item's scan item carries; null without an item, a scan item or a path.
const char16_t* ScanItemPath(const RkItemRecord* item);

// File level, MD5 and SHA-1 of the item's file into the entry, and the digests' texts.
void SetCommInfo(const DigestSources& digests, const RkItemRecord* item, TargetListEntry& entry,
                 std::u16string& md5Text, std::u16string& sha1Text);

// The registry body of a registry event and its detail text (empty for other operations).
void SetRegInfo(const RkEventRecord& record, const RkItemRecord* item, TargetListEntry& entry,
                std::u16string& detail);

// The process body of a process-creation event; may set the label.
void SetProcessCreateInfo(std::u16string& label, bool danger, const RkEventRecord& record,
                          const RkItemRecord* item, TargetListEntry& entry);

}  // namespace tierlock
