// What the host reads from the pop-up request: the value tags, the "ruleInfo" block, the
// "TargetList" block (a count and fixed-size entries), the "ProcessChain" block and the verdict.
// The blocks hold no pointers, so the layout is the same on every build; every offset is pinned
// below because the host decodes them by position.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tierlock {

// Text fields of the head and of the file and process bodies, terminator included.
inline constexpr size_t kEntryTextUnits = 260;
// The long text and data fields of the registry body.
inline constexpr size_t kRegistryLongTextUnits = 1024;
inline constexpr size_t kRegistryDataBytes = 1024;

// Target types (low 31 bits of the entry's first field); bit 31 is a flag no reader tests.
inline constexpr uint32_t kTargetProcess = 1;
inline constexpr uint32_t kTargetFile = 2;
inline constexpr uint32_t kTargetRegistry = 3;
inline constexpr uint32_t kDangerProcess = 4;
inline constexpr uint32_t kDangerFile = 5;
inline constexpr uint32_t kTargetTypeFlag = 0x80000000u;

// Handling types.
inline constexpr uint32_t kHandlingTarget = 2;
inline constexpr uint32_t kHandlingDangerProcess = 3;
inline constexpr uint32_t kHandlingDangerFile = 4;
inline constexpr uint32_t kHandlingDangerRegistry = 5;

// Body of a process entry (target types 1 and 4).
struct TargetProcessBody {
    uint32_t processId;                     // 580
    uint32_t parentProcessId;               // 584, 0 when absent
    char16_t imagePath[kEntryTextUnits];    // 588
    char16_t commandLine[kEntryTextUnits];  // 1108
};

// Body of a file entry (target types 2 and 5).
struct TargetFileBody {
    char16_t filePath[kEntryTextUnits];         // 580
    char16_t firstExtraPath[kEntryTextUnits];   // 1100
    char16_t secondExtraPath[kEntryTextUnits];  // 1620
};

// Body of a registry entry (target type 3); it runs to the end of the entry.
struct TargetRegistryBody {
    char16_t keyPath[kEntryTextUnits];              // 580
    char16_t valueName[kEntryTextUnits];            // 1100
    char16_t reserved1620[kRegistryLongTextUnits];  // 1620, never written
    char16_t keyName[kRegistryLongTextUnits];       // 3668: created key or new name of a rename
    uint32_t valueType;                             // 5716
    uint8_t firstValueData[kRegistryDataBytes];     // 5720
    uint8_t secondValueData[kRegistryDataBytes];    // 6744
};

// One entry of the "TargetList" block.
struct TargetListEntry {
    uint32_t targetType;                 // 0
    uint32_t engineKind;                 // 4
    uint32_t engineId;                   // 8, only for engine kind 6
    uint32_t handlingType;               // 12
    char16_t riskName[kEntryTextUnits];  // 16
    uint32_t riskType;                   // 536, only for engine kind 6
    int32_t fileLevel;                   // 540
    uint8_t md5[16];                     // 544
    uint8_t sha1[20];                    // 560
    // The three bodies share the same bytes; the target type tells which one is meant.
    union {
        TargetProcessBody process;
        TargetFileBody file;
        TargetRegistryBody registry;
    };  // 580
};

inline constexpr size_t kTargetListEntrySize = 7768;
// The entry count that precedes the entries.
inline constexpr size_t kTargetListHeaderSize = 4;

static_assert(sizeof(TargetListEntry) == kTargetListEntrySize);
static_assert(alignof(TargetListEntry) == 4);
static_assert(offsetof(TargetListEntry, targetType) == 0);
static_assert(offsetof(TargetListEntry, engineKind) == 4);
static_assert(offsetof(TargetListEntry, engineId) == 8);
static_assert(offsetof(TargetListEntry, handlingType) == 12);
static_assert(offsetof(TargetListEntry, riskName) == 16);
static_assert(offsetof(TargetListEntry, riskType) == 536);
static_assert(offsetof(TargetListEntry, fileLevel) == 540);
static_assert(offsetof(TargetListEntry, md5) == 544);
static_assert(offsetof(TargetListEntry, sha1) == 560);
static_assert(offsetof(TargetListEntry, process) == 580);
static_assert(offsetof(TargetListEntry, file) == 580);
static_assert(offsetof(TargetListEntry, registry) == 580);
// Body offsets, counted from the start of the entry.
static_assert(580 + offsetof(TargetProcessBody, processId) == 580);
static_assert(580 + offsetof(TargetProcessBody, parentProcessId) == 584);
static_assert(580 + offsetof(TargetProcessBody, imagePath) == 588);
static_assert(580 + offsetof(TargetProcessBody, commandLine) == 1108);
static_assert(580 + offsetof(TargetFileBody, filePath) == 580);
static_assert(580 + offsetof(TargetFileBody, firstExtraPath) == 1100);
static_assert(580 + offsetof(TargetFileBody, secondExtraPath) == 1620);
static_assert(580 + offsetof(TargetRegistryBody, keyPath) == 580);
static_assert(580 + offsetof(TargetRegistryBody, valueName) == 1100);
static_assert(580 + offsetof(TargetRegistryBody, keyName) == 3668);
static_assert(580 + offsetof(TargetRegistryBody, valueType) == 5716);
static_assert(580 + offsetof(TargetRegistryBody, firstValueData) == 5720);
static_assert(580 + offsetof(TargetRegistryBody, secondValueData) == 6744);
static_assert(580 + sizeof(TargetRegistryBody) == kTargetListEntrySize);

// One entry of the "ProcessChain" block: the image path and the level of one process. An
// entry whose process could not be described stays all zero.
struct ProcessChainEntry {
    char16_t path[kEntryTextUnits];  // 0
    int32_t level;                   // 520, -1 when none was found
};

inline constexpr size_t kProcessChainEntrySize = 524;
inline constexpr size_t kProcessChainHeaderSize = 4;
// Level of a chain entry whose level could not be read.
inline constexpr int32_t kChainLevelUnknown = -1;

static_assert(sizeof(ProcessChainEntry) == kProcessChainEntrySize);
static_assert(offsetof(ProcessChainEntry, path) == 0);
static_assert(offsetof(ProcessChainEntry, level) == 520);

// Tags of the values in the request bundle: what the host reads each value as.
inline constexpr uint32_t kTagInt32 = 1;
inline constexpr uint32_t kTagWideText = 2;  // UTF-16, no terminator
inline constexpr uint32_t kTagNarrowText = 3;
inline constexpr uint32_t kReportBlockTag = 4;
inline constexpr uint32_t kTagInt64 = 5;

// The two keys under which the blocks travel.
inline constexpr const char16_t* kTargetListKey = u"TargetList";
inline constexpr const char16_t* kProcessChainKey = u"ProcessChain";

// The host rule behind a pop-up, stored under "ruleInfo".
struct RuleInfoBlock {
    uint32_t engType;  // 0: always kRuleInfoEngType
    uint32_t GroupId;  // 4: the record's GroupId, zero-extended
    uint32_t RuleId;   // 8: the record's uRuleId
    uint8_t reserved[1040];
};
inline constexpr uint32_t kRuleInfoEngType = 2;
inline constexpr size_t kRuleInfoSize = 1052;
static_assert(sizeof(RuleInfoBlock) == kRuleInfoSize);
static_assert(offsetof(RuleInfoBlock, GroupId) == 4);
static_assert(offsetof(RuleInfoBlock, RuleId) == 8);

// The user's answer that PopWnd writes when the user chose to block.
inline constexpr int32_t kPopWndAnswerBlock = 2;

// What LastProcessEvent returns.
inline constexpr int32_t kVerdictNone = 0;
inline constexpr int32_t kVerdictBlock = 1;
inline constexpr int32_t kVerdictShown = 2;

}  // namespace tierlock
