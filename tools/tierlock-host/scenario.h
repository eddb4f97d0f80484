// A replay scenario: the system, the processes and the host services a rule author wants the
// plug-in to meet, and the events to replay. Loaded from JSON, checked against the scenario
// schema and then for references between its parts, before anything runs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tierlock_host {

struct LevelPair {
    int32_t level = 0;
    int32_t subLevel = 0;
};

struct ScenarioProcess {
    uint32_t pid = 0;
    uint32_t parent = 0;  // 0: the process has no parent the host knows
    std::u16string path;
    std::u16string commandLine;
    uint64_t createTime = 0;
    std::optional<LevelPair> level;
    std::optional<LevelPair> fixedLevel;
    uint64_t fixedUntil = ~uint64_t{0};  // seconds since 1970; all ones: never expires
};

struct CloudAnswer {
    std::u16string path;
    LevelPair level;
};

struct TrustAnswer {
    std::u16string path;
    uint32_t matchType = 0;
    bool skip = true;
};

// What the host's file cache answers for a file: its digests as hexadecimal texts.
struct FileDigests {
    std::u16string path;
    std::u16string md5, sha1;
};

struct ScenarioItem {
    uint32_t type = 0;
    std::u16string path;
    uint32_t process = 0;
    uint32_t engineKind = 0;
    uint32_t engineId = 0;
    uint32_t riskType = 0;
    std::u16string riskName;
    LevelPair level;
};

struct RegistryDetails {
    std::optional<std::u16string> key;
    std::optional<std::u16string> valueName;  // or the new name of a renamed key
    uint32_t valueType = 0;
    std::vector<uint8_t> data;     // the first value data
    std::vector<uint8_t> oldData;  // the second value data
};

struct ScenarioEvent {
    std::string name;
    std::string pointer;  // where the event sits in the scenario, for messages
    int32_t eventClass = 0;
    int32_t operation = 0;
    bool synchronous = true;
    uint32_t ruleId = 0;
    uint16_t groupId = 0;
    uint32_t process = 0;
    std::optional<uint32_t> reportedParent;  // the PPID the record carries, when not the real one
    uint32_t targetProcess = 0;
    std::u16string sourcePath, destinationPath;
    LevelPair sourceLevel, destinationLevel;
    std::vector<std::u16string> extraPaths;
    RegistryDetails registry;
    int32_t guardType = 0, operatorType = 0;
    bool alreadyPassed = false, alreadyReported = false;
    std::vector<ScenarioItem> items;
    int32_t answer = 0;  // what PopWnd hands back; 2 is block
};

struct Scenario {
    std::filesystem::path file;
    std::string description;
    std::filesystem::path configurationFile;
    int32_t width = 64;
    std::u16string windowsDirectory = u"C:\\Windows";
    bool cacheHost = true;
    std::vector<ScenarioProcess> processes;  // parents before their children
    bool offersCloud = false;
    bool cloudFails = false;
    std::vector<CloudAnswer> cloudAnswers;
    bool offersTrust = false;
    std::vector<TrustAnswer> trustAnswers;
    std::vector<FileDigests> files;
    std::vector<ScenarioEvent> events;
    std::unordered_map<uint32_t, size_t> processIndex;  // pid -> position in processes

    const ScenarioProcess* FindProcess(uint32_t pid) const;
};

// Why a scenario was refused: where (line:column and JSON pointer) and what.
struct ScenarioError {
    std::string location;
    std::string message;
};

// Reads ("-": standard input, at most maxSize bytes), validates and checks the scenario at
// path; the configuration it names is resolved against the scenario's folder. False with
// error set when the scenario is refused.
bool LoadScenario(const std::string& path, uint64_t maxSize, Scenario* scenario,
                  ScenarioError* error);
// The same for scenario text already read (file is used only to resolve the configuration).
bool ParseScenario(const std::string& text, const std::filesystem::path& file, Scenario* scenario,
                   ScenarioError* error);

// The schema every scenario must satisfy (examples/scenario.schema.json, built in).
const char* ScenarioSchemaText();

}  // namespace tierlock_host
