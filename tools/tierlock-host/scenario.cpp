#include "scenario.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/schema.h>
#include <rapidjson/stringbuffer.h>

#include <map>
#include <set>

#include "input_file.h"
#include "json_locations.h"
#include "scenario_schema.h"
#include "simhost/text.h"

namespace tierlock_host {
namespace {

using rapidjson::Value;

constexpr uint32_t kDangerItemType = 0xFFFF;
constexpr int32_t kAnswerBlock = 2;
constexpr int32_t kAnswerAllow = 1;

std::string PointerText(const rapidjson::Pointer& pointer) {
    rapidjson::StringBuffer buffer;
    pointer.Stringify(buffer);
    return buffer.GetString();
}

const Value* Member(const Value& object, const char* name) {
    auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

std::u16string Text(const Value& object, const char* name) {
    const Value* value = Member(object, name);
    return value && value->IsString()
               ? simhost::ToUtf16(std::string_view(value->GetString(), value->GetStringLength()))
               : std::u16string();
}

uint64_t Number(const Value& object, const char* name, uint64_t fallback = 0) {
    const Value* value = Member(object, name);
    if (!value) {
        return fallback;
    }
    if (value->IsUint64()) {
        return value->GetUint64();
    }
    return value->IsInt64() ? static_cast<uint64_t>(value->GetInt64()) : fallback;
}

bool Flag(const Value& object, const char* name, bool fallback) {
    const Value* value = Member(object, name);
    return value && value->IsBool() ? value->GetBool() : fallback;
}

// The schema has checked the form "digits.digits".
LevelPair ParseLevel(const Value& text) {
    const std::string level = text.GetString();
    const size_t dot = level.find('.');
    return {std::stoi(level.substr(0, dot)), std::stoi(level.substr(dot + 1))};
}

std::optional<LevelPair> OptionalLevel(const Value& object, const char* name) {
    const Value* value = Member(object, name);
    return value ? std::optional<LevelPair>(ParseLevel(*value)) : std::nullopt;
}

uint32_t ItemType(const Value& type) {
    if (type.IsUint()) {
        return type.GetUint();
    }
    static const std::map<std::string, uint32_t> kNames = {
        {"danger", kDangerItemType}, {"source", 1},  {"parent", 4},
        {"destination", 8},          {"module", 32}, {"commandLine", 64}};
    return kNames.at(type.GetString());
}

std::vector<uint8_t> RegistryData(const Value* data) {
    std::vector<uint8_t> bytes;
    if (!data) {
        return bytes;
    }
    if (data->IsUint()) {
        const uint32_t number = data->GetUint();
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(number >> (8 * i)));
        }
        return bytes;
    }
    std::u16string text = simhost::ToUtf16(data->GetString());
    text.push_back(u'\0');
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

std::filesystem::path PathOf(const char* utf8) {
    const std::string text(utf8);
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// Validation walks the document recursively, so nesting is bounded first, without recursion.
constexpr size_t kMaxNesting = 32;

std::optional<std::string> TooDeep(const Value& root) {
    struct Open {
        const Value* value;
        std::string pointer;
        size_t depth;
    };
    std::vector<Open> pending{{&root, "", 0}};
    while (!pending.empty()) {
        Open open = std::move(pending.back());
        pending.pop_back();
        if (open.depth > kMaxNesting) {
            return open.pointer;
        }
        if (open.value->IsObject()) {
            for (const auto& member : open.value->GetObject()) {
                pending.push_back(
                    {&member.value, open.pointer + "/" + member.name.GetString(), open.depth + 1});
            }
        } else if (open.value->IsArray()) {
            for (rapidjson::SizeType i = 0; i < open.value->Size(); ++i) {
                pending.push_back(
                    {&(*open.value)[i], open.pointer + "/" + std::to_string(i), open.depth + 1});
            }
        }
    }
    return std::nullopt;
}

int32_t EventClass(const std::string& name) {
    return name == "file" ? 1 : name == "registry" ? 2 : 3;
}

struct Builder {
    Scenario& scenario;
    ScenarioError& error;

    bool Refuse(std::string location, std::string message) {
        error = {std::move(location), std::move(message)};
        return false;
    }

    bool RequireProcess(uint32_t pid, const std::string& location) {
        if (pid != 0 && !scenario.FindProcess(pid)) {
            return Refuse(location, "no process with pid " + std::to_string(pid));
        }
        return true;
    }

    bool Processes(const Value& list) {
        std::map<uint32_t, size_t> byPid;
        std::vector<ScenarioProcess> read;
        for (rapidjson::SizeType i = 0; i < list.Size(); ++i) {
            const Value& entry = list[i];
            ScenarioProcess process;
            process.pid = static_cast<uint32_t>(Number(entry, "pid"));
            process.parent = static_cast<uint32_t>(Number(entry, "parent"));
            process.path = Text(entry, "path");
            process.commandLine = Text(entry, "commandLine");
            process.createTime = Number(entry, "createTime");
            process.level = OptionalLevel(entry, "level");
            process.fixedLevel = OptionalLevel(entry, "fixedLevel");
            const Value* until = Member(entry, "fixedUntil");
            if (until && until->IsUint64()) {
                process.fixedUntil = until->GetUint64();
            }
            const std::string where = "/processes/" + std::to_string(i);
            if (!byPid.emplace(process.pid, i).second) {
                return Refuse(where + "/pid",
                              "pid " + std::to_string(process.pid) + " is listed twice");
            }
            read.push_back(std::move(process));
        }
        // Parents go first, so that a host can add each process under one it already knows.
        std::vector<int> state(read.size(), 0);  // 0 new, 1 on the path, 2 placed
        for (size_t start = 0; start < read.size(); ++start) {
            std::vector<size_t> path;
            size_t at = start;
            while (state[at] == 0) {
                state[at] = 1;
                path.push_back(at);
                const uint32_t parent = read[at].parent;
                if (parent == 0) {
                    break;
                }
                auto found = byPid.find(parent);
                const std::string where = "/processes/" + std::to_string(at) + "/parent";
                if (found == byPid.end()) {
                    return Refuse(where, "no process with pid " + std::to_string(parent));
                }
                if (state[found->second] == 1) {
                    return Refuse(where,
                                  "pid " + std::to_string(parent) + " is among its own ancestors");
                }
                at = found->second;
            }
            for (auto it = path.rbegin(); it != path.rend(); ++it) {
                state[*it] = 2;
                scenario.processIndex.emplace(read[*it].pid, scenario.processes.size());
                scenario.processes.push_back(std::move(read[*it]));
            }
        }
        return true;
    }

    bool Event(const Value& entry, rapidjson::SizeType index) {
        ScenarioEvent event;
        event.pointer = "/events/" + std::to_string(index);
        const Value* name = Member(entry, "name");
        event.name = name ? name->GetString() : "event " + std::to_string(index + 1);
        event.eventClass = EventClass(entry["class"].GetString());
        event.operation = static_cast<int32_t>(Number(entry, "operation"));
        event.synchronous = Flag(entry, "synchronous", true);
        event.ruleId = static_cast<uint32_t>(Number(entry, "ruleId"));
        event.groupId = static_cast<uint16_t>(Number(entry, "groupId"));
        event.process = static_cast<uint32_t>(Number(entry, "process"));
        if (!RequireProcess(event.process, event.pointer + "/process")) {
            return false;
        }
        if (const Value* parent = Member(entry, "reportedParent")) {
            event.reportedParent = parent->GetUint();
            if (!RequireProcess(*event.reportedParent, event.pointer + "/reportedParent")) {
                return false;
            }
        }
        event.targetProcess = static_cast<uint32_t>(Number(entry, "targetProcess"));
        if (!RequireProcess(event.targetProcess, event.pointer + "/targetProcess")) {
            return false;
        }
        if (event.eventClass == 3 && event.operation == 1 && event.targetProcess == 0) {
            return Refuse(event.pointer,
                          "a process event with operation 1 needs the targetProcess it creates");
        }
        if (const Value* source = Member(entry, "source")) {
            event.sourcePath = Text(*source, "path");
            event.sourceLevel = OptionalLevel(*source, "level").value_or(LevelPair{});
        }
        if (const Value* destination = Member(entry, "destination")) {
            event.destinationPath = Text(*destination, "path");
            event.destinationLevel = OptionalLevel(*destination, "level").value_or(LevelPair{});
        }
        if (const Value* extra = Member(entry, "extraPaths")) {
            for (const Value& path : extra->GetArray()) {
                event.extraPaths.push_back(simhost::ToUtf16(path.GetString()));
            }
        }
        if (const Value* registry = Member(entry, "registry")) {
            if (Member(*registry, "key")) {
                event.registry.key = Text(*registry, "key");
            }
            if (Member(*registry, "valueName")) {
                event.registry.valueName = Text(*registry, "valueName");
            }
            event.registry.valueType = static_cast<uint32_t>(Number(*registry, "valueType"));
            event.registry.data = RegistryData(Member(*registry, "data"));
            event.registry.oldData = RegistryData(Member(*registry, "oldData"));
        }
        event.guardType = static_cast<int32_t>(Number(entry, "guardType"));
        event.operatorType = static_cast<int32_t>(Number(entry, "operatorType"));
        event.alreadyPassed = Flag(entry, "alreadyPassed", false);
        event.alreadyReported = Flag(entry, "alreadyReported", false);
        if (const Value* items = Member(entry, "items")) {
            std::set<uint32_t> types;
            for (rapidjson::SizeType i = 0; i < items->Size(); ++i) {
                const Value& source = (*items)[i];
                const std::string where = event.pointer + "/items/" + std::to_string(i);
                ScenarioItem item;
                item.type = ItemType(source["type"]);
                if (!types.insert(item.type).second) {
                    return Refuse(where + "/type", "the target has one item per type");
                }
                item.path = Text(source, "path");
                item.process = static_cast<uint32_t>(Number(source, "process"));
                if (!RequireProcess(item.process, where + "/process")) {
                    return false;
                }
                item.engineKind = static_cast<uint32_t>(Number(source, "engineKind"));
                item.engineId = static_cast<uint32_t>(Number(source, "engineId"));
                item.riskType = static_cast<uint32_t>(Number(source, "riskType"));
                item.riskName = Text(source, "riskName");
                item.level = OptionalLevel(source, "level").value_or(LevelPair{});
                event.items.push_back(std::move(item));
            }
        }
        event.answer = kAnswerAllow;
        if (const Value* answer = Member(entry, "answer")) {
            if (answer->IsInt()) {
                event.answer = answer->GetInt();
            } else if (answer->IsString()) {
                event.answer =
                    std::string(answer->GetString()) == "block" ? kAnswerBlock : kAnswerAllow;
            } else {
                return Refuse(event.pointer + "/answer", "not an answer the host can give");
            }
        }
        scenario.events.push_back(std::move(event));
        return true;
    }

    bool Build(const Value& root) {
        if (const Value* description = Member(root, "description")) {
            scenario.description = description->GetString();
        }
        scenario.configurationFile =
            scenario.file.parent_path() / PathOf(root["configuration"].GetString());
        if (const Value* system = Member(root, "system")) {
            scenario.width = static_cast<int32_t>(Number(*system, "width", 64));
            if (Member(*system, "windowsDirectory")) {
                scenario.windowsDirectory = Text(*system, "windowsDirectory");
            }
        }
        scenario.cacheHost = std::string(root["host"].GetString()) == "cache";
        if (!Processes(root["processes"])) {
            return false;
        }
        if (const Value* cloud = Member(root, "cloud")) {
            scenario.offersCloud = true;
            scenario.cloudFails = Flag(*cloud, "fails", false);
            if (const Value* answers = Member(*cloud, "answers")) {
                for (const Value& answer : answers->GetArray()) {
                    scenario.cloudAnswers.push_back(
                        {Text(answer, "path"), ParseLevel(answer["level"])});
                }
            }
        }
        if (const Value* trust = Member(root, "trust")) {
            scenario.offersTrust = true;
            if (const Value* answers = Member(*trust, "answers")) {
                for (const Value& answer : answers->GetArray()) {
                    scenario.trustAnswers.push_back(
                        {Text(answer, "path"), static_cast<uint32_t>(Number(answer, "matchType")),
                         Flag(answer, "skip", true)});
                }
            }
        }
        if (const Value* files = Member(root, "files")) {
            for (const Value& file : files->GetArray()) {
                scenario.files.push_back(
                    {Text(file, "path"), Text(file, "md5"), Text(file, "sha1")});
            }
        }
        const Value& events = root["events"];
        for (rapidjson::SizeType i = 0; i < events.Size(); ++i) {
            if (!Event(events[i], i)) {
                return false;
            }
        }
        return true;
    }
};

}  // namespace

const ScenarioProcess* Scenario::FindProcess(uint32_t pid) const {
    auto found = processIndex.find(pid);
    return found == processIndex.end() ? nullptr : &processes[found->second];
}

const char* ScenarioSchemaText() {
    return kScenarioSchema;
}

bool ParseScenario(const std::string& bytes, const std::filesystem::path& file, Scenario* scenario,
                   ScenarioError* error) {
    *scenario = Scenario{};
    scenario->file = file;
    const TextMap map(bytes);
    const std::string_view text = map.json();
    // "12:5 /events/3/process", or the pointer alone when the value cannot be found.
    auto locate = [&](const std::string& pointer) {
        const auto offsets = ValueOffsets(text, {pointer});
        auto found = offsets.find(pointer);
        const std::string shown = pointer.empty() ? "/" : pointer;
        return found == offsets.end() ? shown
                                      : PositionText(map.PositionOf(found->second)) + " " + shown;
    };
    // Parsing holds every open bracket; bound them before, without recursion.
    if (const std::optional<size_t> deep = NestingBeyond(text, kMaxNesting + 2)) {
        *error = {PositionText(map.PositionOf(*deep)),
                  "nested more than " + std::to_string(kMaxNesting) + " levels deep"};
        return false;
    }
    rapidjson::Document document;
    // Iterative parsing: a scenario is input, and deep nesting must not overflow the stack.
    document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    if (document.HasParseError()) {
        const std::optional<SyntaxError> syntax = FindSyntaxError(text);
        const size_t offset = syntax ? syntax->offset : document.GetErrorOffset();
        *error = {PositionText(map.PositionOf(offset)) +
                      (syntax && !syntax->pointer.empty() ? " " + syntax->pointer : ""),
                  rapidjson::GetParseError_En(document.GetParseError())};
        return false;
    }
    if (auto where = TooDeep(document)) {
        *error = {locate(*where),
                  "nested more than " + std::to_string(kMaxNesting) + " levels deep"};
        return false;
    }
    rapidjson::Document schemaDocument;
    schemaDocument.Parse(ScenarioSchemaText());
    rapidjson::SchemaDocument schema(schemaDocument);
    rapidjson::SchemaValidator validator(schema);
    if (!document.Accept(validator)) {
        *error = {
            locate(PointerText(validator.GetInvalidDocumentPointer())),
            std::string("does not satisfy the schema's \"") +
                (validator.GetInvalidSchemaKeyword() ? validator.GetInvalidSchemaKeyword() : "") +
                "\" at " + PointerText(validator.GetInvalidSchemaPointer())};
        return false;
    }
    Builder builder{*scenario, *error};
    if (!builder.Build(document)) {
        error->location = locate(error->location);
        return false;
    }
    return true;
}

bool LoadScenario(const std::string& path, uint64_t maxSize, Scenario* scenario,
                  ScenarioError* error) {
    std::string text, reason;
    if (!ReadInput(path, maxSize, &text, &reason)) {
        *error = {"", reason};
        return false;
    }
    // The configuration of a scenario read from standard input is found from here.
    const std::filesystem::path file =
        path == "-" ? std::filesystem::path("-")
                    : std::filesystem::path(std::u8string(path.begin(), path.end()));
    return ParseScenario(text, file, scenario, error);
}

}  // namespace tierlock_host
