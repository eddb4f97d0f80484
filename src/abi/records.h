// The records the host hands over: the event record, the item record and the 544-byte
// process-information record. Offsets are those of the 32-bit build, where a pointer is four
// bytes; 64-bit builds have their natural layout (the process-information record has no
// pointers and is the same everywhere).
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/bundle.h"

namespace tierlock {

// recordSize of the layout that carries extBundle.
inline constexpr uint32_t kRecordSizeWithExtBundle = 632;

// Event classes.
inline constexpr int32_t kClassFile = 1;
inline constexpr int32_t kClassRegistry = 2;
inline constexpr int32_t kClassProcess = 3;

// syncMode of an event that may be answered by a pop-up.
inline constexpr int32_t kSyncModeSynchronous = 2;

struct RkRegistryRequest {
    const char16_t* m_KeyName;  // 76
};

struct RkEventRecord {
    uint32_t recordSize;          // 0
    uint32_t reserved4[3];        // 4
    int32_t Class;                // 16
    uint32_t reserved20[2];       // 20
    int32_t operation;            // 28
    int32_t syncMode;             // 32
    uint32_t reserved36[3];       // 36
    uint32_t uRuleId;             // 48
    uint16_t GroupId;             // 52
    uint16_t reserved54;          // 54
    uint32_t ProcessId;           // 56
    uint32_t reserved60;          // 60
    uint32_t PPID;                // 64
    const char16_t* ProcessPath;  // 68
    const char16_t* ProcessCmd;   // 72
    struct {
        RkRegistryRequest m_Registry;  // 76
    } drvReq;
    union {
        const char16_t* firstExtraPath;  // file event, operation 3
        const char16_t* valueName;       // registry event: value name or new key name
    };                                   // 80
    union {
        uint32_t TargetProcessId;         // process event, operation 1
        const char16_t* secondExtraPath;  // file event, operation 3
        uint32_t valueType;               // registry event
    };                                    // 84
    union {
        const void* firstValueData;          // registry event
        const char16_t* createdCommandLine;  // process event, operation 1
    };                                       // 88
    union {
        uint32_t firstValueSize;           // registry event
        const char16_t* createdImagePath;  // process event, operation 1
    };                                     // 92
    const void* secondValueData;           // 96
    uint32_t secondValueSize;              // 100
    IASBundle* extBundle;                  // 104, read only when recordSize is 632
    uint8_t reserved108[kRecordSizeWithExtBundle - 108];
};

// What the target's GetItem returns.
struct RkItemRecord {
    uint32_t type;           // 0
    uint32_t processId;      // 4
    uint32_t reserved8;      // 8
    uint32_t engineKind;     // 12
    uint32_t reserved16[2];  // 16
    IRKScanItem* scanItem;   // 24
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(RkEventRecord, recordSize) == 0);
static_assert(offsetof(RkEventRecord, Class) == 16);
static_assert(offsetof(RkEventRecord, operation) == 28);
static_assert(offsetof(RkEventRecord, syncMode) == 32);
static_assert(offsetof(RkEventRecord, uRuleId) == 48);
static_assert(offsetof(RkEventRecord, GroupId) == 52);
static_assert(offsetof(RkEventRecord, ProcessId) == 56);
static_assert(offsetof(RkEventRecord, PPID) == 64);
static_assert(offsetof(RkEventRecord, ProcessPath) == 68);
static_assert(offsetof(RkEventRecord, ProcessCmd) == 72);
static_assert(offsetof(RkEventRecord, drvReq) == 76);
static_assert(offsetof(RkEventRecord, firstExtraPath) == 80);
static_assert(offsetof(RkEventRecord, valueName) == 80);
static_assert(offsetof(RkEventRecord, TargetProcessId) == 84);
static_assert(offsetof(RkEventRecord, secondExtraPath) == 84);
static_assert(offsetof(RkEventRecord, valueType) == 84);
static_assert(offsetof(RkEventRecord, firstValueData) == 88);
static_assert(offsetof(RkEventRecord, createdCommandLine) == 88);
static_assert(offsetof(RkEventRecord, firstValueSize) == 92);
static_assert(offsetof(RkEventRecord, createdImagePath) == 92);
static_assert(offsetof(RkEventRecord, secondValueData) == 96);
static_assert(offsetof(RkEventRecord, secondValueSize) == 100);
static_assert(offsetof(RkEventRecord, extBundle) == 104);
static_assert(sizeof(RkEventRecord) == kRecordSizeWithExtBundle);
static_assert(offsetof(RkItemRecord, type) == 0);
static_assert(offsetof(RkItemRecord, processId) == 4);
static_assert(offsetof(RkItemRecord, engineKind) == 12);
static_assert(offsetof(RkItemRecord, scanItem) == 24);
#endif

// The host's process-information record; the plug-in reads these fields only.
struct RkProcessInfoRecord {
    uint32_t reserved0;        // 0
    uint32_t processId;        // 4
    uint64_t createTime;       // 8
    uint32_t parentProcessId;  // 16
    char16_t imagePath[260];   // 20
    uint32_t reserved540;      // 540
};
static_assert(sizeof(RkProcessInfoRecord) == 544);
static_assert(offsetof(RkProcessInfoRecord, processId) == 4);
static_assert(offsetof(RkProcessInfoRecord, createTime) == 8);
static_assert(offsetof(RkProcessInfoRecord, parentProcessId) == 16);
static_assert(offsetof(RkProcessInfoRecord, imagePath) == 20);

// The key under which the target's bundle carries the process-information cache's address.
inline constexpr const char* kProcessTreeCacheKey = "{BFA77AA6-C0E4-4F12-9EBC-B02AEB09EB61}";

}  // namespace tierlock
