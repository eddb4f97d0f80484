// The pop-up request as the host reads it: every value of the request bundle decoded by key,
// tag and byte offset, independent of the plug-in's own structures. What does not have the
// expected tag, size or layout is listed as a problem instead of being guessed at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "abi/bundle.h"

namespace tierlock_host {

struct RuleInfo {
    uint32_t engType = 0;
    uint32_t groupId = 0;
    uint32_t ruleId = 0;
    bool reservedZero = true;
};

struct TargetEntry {
    uint32_t targetType = 0;
    uint32_t engineKind = 0;
    uint32_t engineId = 0;
    uint32_t handlingType = 0;
    std::u16string riskName;
    uint32_t riskType = 0;
    int32_t fileLevel = 0;
    std::vector<uint8_t> md5, sha1;
    // Process body (target types 1 and 4).
    uint32_t processId = 0, parentProcessId = 0;
    std::u16string imagePath, commandLine;
    // File body (2 and 5).
    std::u16string filePath, firstExtraPath, secondExtraPath;
    // Registry body (3).
    std::u16string keyPath, valueName, keyName;
    uint32_t valueType = 0;
    std::vector<uint8_t> firstValueData, secondValueData;
};

struct ChainEntry {
    std::u16string path;
    int32_t level = 0;
};

struct DecodedRequest {
    std::vector<std::u16string> keys;  // as the bundle lists them, in order
    std::optional<int32_t> guardType, operatorType, waitId, isOutLog;
    std::optional<uint32_t> processId;
    std::optional<uint64_t> processCreatetime;
    std::optional<std::u16string> processPath, processCmd;
    std::optional<RuleInfo> ruleInfo;
    std::optional<std::string> popWin;
    std::optional<std::vector<TargetEntry>> targetList;
    std::optional<std::vector<ChainEntry>> processChain;
    std::vector<std::string> problems;
};

DecodedRequest DecodeRequest(IRkBundle* bundle);

// Words for the numbers of an entry's head.
std::string TargetTypeName(uint32_t targetType);
std::string HandlingName(uint32_t handlingType);
// Which body the target type selects: "process", "file", "registry" or "" for none.
std::string BodyKind(uint32_t targetType);

}  // namespace tierlock_host
