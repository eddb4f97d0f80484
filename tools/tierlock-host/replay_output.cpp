// The two forms of a replay's report: text for people, one JSON document for scripts. Both
// carry the same facts.
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>
#include <cstdio>

#include "replay.h"
#include "scenario_host.h"
#include "simhost/text.h"

namespace tierlock_host {
namespace {

const char* ClassName(int32_t eventClass) {
    return eventClass == 1 ? "file" : eventClass == 2 ? "registry" : "process";
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

// A value data block without its zero padding.
std::vector<uint8_t> Trimmed(std::vector<uint8_t> bytes) {
    while (!bytes.empty() && bytes.back() == 0) {
        bytes.pop_back();
    }
    return bytes;
}

// The text a string value (REG_SZ, REG_EXPAND_SZ) holds, empty for other types.
std::string DataText(uint32_t valueType, const std::vector<uint8_t>& bytes) {
    if (valueType != 1 && valueType != 2) {
        return "";
    }
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return simhost::ToUtf8(text);
}

std::string HexNumber(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%X", value);
    return buffer;
}

std::string U8(const std::u16string& text) {
    return simhost::ToUtf8(text);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

class TextReport final : public ReplayWriter {
  public:
    TextReport(bool withLog, bool explain, ReplaySink sink)
        : withLog_(withLog), explain_(explain), sink_(std::move(sink)) {}

    void Begin(const ReplayReport& report) override {
        const Scenario& scenario = report.scenario;
        Line(0, "scenario: " + PathText(scenario.file));
        if (!scenario.description.empty()) {
            Line(1, scenario.description);
        }
        Line(0, "configuration: " + PathText(scenario.configurationFile) + " (Init answered " +
                    (report.initialised ? "true" : "false") + ")");
        Line(0, "plug-in: " + PathText(report.plugin));
        std::string host = scenario.cacheHost ? "cache host" : "tree host";
        host += scenario.offersCloud
                    ? (scenario.cloudFails ? ", cloud engine (failing)" : ", cloud engine")
                    : ", no cloud engine";
        host += scenario.offersTrust ? ", trust query" : ", no trust query";
        Line(0, "host: " + host);
        Line(0, "system: " + std::to_string(scenario.width) + "-bit, " +
                    U8(scenario.windowsDirectory));
        if (scenario.width != report.systemWidth ||
            FileKeyOf(scenario.windowsDirectory) != FileKeyOf(report.systemWindowsDirectory)) {
            Line(1, "note: the plug-in runs on a " + std::to_string(report.systemWidth) +
                        "-bit system with " + U8(report.systemWindowsDirectory) +
                        "; paths under the system folder may read differently");
        }
        for (const std::string& said : report.configurationNotes) {
            Line(1, "note: " + said);
        }
        if (withLog_) {
            LogLines(1, report.initLog);
        }
        Flush();
    }

    void End(const ReplayReport& report) override {
        out_ += "\n";
        if (report.imbalances.empty()) {
            Line(0, "references: balanced (every host reference and tree root came back)");
        } else {
            Line(0, "references: NOT balanced");
            for (const std::string& line : report.imbalances) {
                Line(1, line);
            }
        }
        Flush();
    }

  private:
    static std::string PathText(const std::filesystem::path& path) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }
    static std::u16string FileKeyOf(const std::u16string& path) { return FileKey(path); }

    void Flush() {
        sink_(out_);
        out_.clear();
    }

    void Line(int depth, const std::string& text) {
        out_.append(static_cast<size_t>(depth) * 2, ' ');
        out_ += text;
        out_ += '\n';
    }

    void LogLines(int depth, const std::vector<std::string>& lines) {
        Line(depth, "log:");
        // A record may hold several lines (the rule dump); each is indented under the log.
        for (const std::string& record : lines) {
            size_t start = 0;
            while (start <= record.size()) {
                size_t end = record.find('\n', start);
                if (end == std::string::npos) {
                    end = record.size();
                }
                Line(depth + (start == 0 ? 1 : 2), record.substr(start, end - start));
                start = end + 1;
            }
        }
    }

  public:
    void Event(size_t index, const EventOutcome& outcome) override {
        const ScenarioEvent& event = *outcome.event;
        out_ += "\n";
        Line(0, "event " + std::to_string(index + 1) + ": " + event.name);
        Line(1, std::string(ClassName(event.eventClass)) + " event, operation " +
                    std::to_string(event.operation) + ", host rule " +
                    std::to_string(event.ruleId) + ", process " + std::to_string(event.process) +
                    (event.synchronous ? "" : ", not synchronous"));
        Line(1, "verdict: " + std::to_string(outcome.verdict) + " (" +
                    VerdictName(outcome.verdict) + ")");
        if (!outcome.explanation.reason.empty()) {
            Line(1, "reason: " + outcome.explanation.reason);
        }
        Line(1, "host queries: cloud " + std::to_string(outcome.cloudQueries) + ", trust " +
                    std::to_string(outcome.trustQueries));
        if (outcome.popup) {
            Line(1, std::string("pop-up shown; the user answered ") +
                        (event.answer == 2 ? "block" : "allow") + " (" +
                        std::to_string(event.answer) + ")");
        }
        if (outcome.request) {
            Request(*outcome.request);
        }
        if (explain_) {
            Line(1, "explain:");
            if (outcome.explanation.lines.empty()) {
                Line(2, "no candidate rule was compared");
            }
            for (const std::string& line : outcome.explanation.lines) {
                Line(2, line);
            }
        }
        if (withLog_) {
            LogLines(1, outcome.log);
        }
        Flush();
    }

  private:
    void Request(const DecodedRequest& request) {
        Line(1, "pop-up request:");
        std::string acting = "acting process: pid ";
        acting += request.processId ? std::to_string(*request.processId) : "(none)";
        acting += ", created ";
        acting += request.processCreatetime ? std::to_string(*request.processCreatetime) : "(none)";
        Line(2, acting);
        Line(3, "path: " + (request.processPath ? U8(*request.processPath) : "(none)"));
        Line(3, "command line: " + (request.processCmd ? U8(*request.processCmd) : "(none)"));
        Line(2, "guard type " + Optional(request.guardType) + ", operator type " +
                    Optional(request.operatorType) + ", wait id " + Optional(request.waitId) +
                    ", log output " + Optional(request.isOutLog));
        if (request.ruleInfo) {
            const RuleInfo& rule = *request.ruleInfo;
            Line(2, "rule: engine type " + std::to_string(rule.engType) + ", group " +
                        std::to_string(rule.groupId) + ", host rule " +
                        std::to_string(rule.ruleId) +
                        (rule.reservedZero ? "" : ", reserved bytes NOT zero"));
        } else {
            Line(2, "rule: (none)");
        }
        Line(2, "pop-up text: " + (request.popWin ? Quoted(*request.popWin) : "(none)"));
        if (request.targetList) {
            Line(2, "target list, " + std::to_string(request.targetList->size()) + " entries:");
            for (size_t k = 0; k < request.targetList->size(); ++k) {
                Entry(k, (*request.targetList)[k]);
            }
        } else {
            Line(2, "target list: (none)");
        }
        if (request.processChain) {
            Line(2,
                 "process chain, " + std::to_string(request.processChain->size()) + " processes:");
            for (size_t i = 0; i < request.processChain->size(); ++i) {
                const ChainEntry& entry = (*request.processChain)[i];
                // Deep chains stop indenting and number their processes instead, so that the
                // text grows with the chain, not with its square.
                constexpr size_t kMaxIndent = 16;
                std::string line(i == 0 ? ""
                                        : std::string(std::min(i - 1, kMaxIndent) * 3, ' ') +
                                              "\u2514\u2500 ");
                if (i > kMaxIndent) {
                    line += "[" + std::to_string(i + 1) + "] ";
                }
                line += entry.path.empty() ? "(not described)" : U8(entry.path);
                line += " (level " + std::to_string(entry.level) + ")";
                Line(3, line);
            }
        } else {
            Line(2, "process chain: (none)");
        }
        std::string keys;
        for (const std::u16string& key : request.keys) {
            keys += (keys.empty() ? "" : ", ") + U8(key);
        }
        Line(2, "keys: " + keys);
        for (const std::string& problem : request.problems) {
            Line(2, "problem: " + problem);
        }
    }

    void Entry(size_t k, const TargetEntry& entry) {
        Line(3, "entry " + std::to_string(k + 1) + ": " + TargetTypeName(entry.targetType) + " (" +
                    HexNumber(entry.targetType) + "), handling " +
                    std::to_string(entry.handlingType) + " (" + HandlingName(entry.handlingType) +
                    ")");
        Line(4, "engine kind " + std::to_string(entry.engineKind) + ", engine id " +
                    std::to_string(entry.engineId) + ", risk type " +
                    std::to_string(entry.riskType) + ", risk name " + Quoted(U8(entry.riskName)));
        Line(4, "file level " + std::to_string(entry.fileLevel) + ", md5 " + Hex(entry.md5) +
                    ", sha1 " + Hex(entry.sha1));
        const std::string body = BodyKind(entry.targetType);
        if (body == "process") {
            Line(4, "pid " + std::to_string(entry.processId) + ", parent " +
                        std::to_string(entry.parentProcessId));
            Line(4, "image path: " + U8(entry.imagePath));
            Line(4, "command line: " + U8(entry.commandLine));
        } else if (body == "file") {
            Line(4, "file path: " + U8(entry.filePath));
            if (!entry.firstExtraPath.empty() || !entry.secondExtraPath.empty()) {
                Line(4, "first extra path: " + U8(entry.firstExtraPath));
                Line(4, "second extra path: " + U8(entry.secondExtraPath));
            }
        } else if (body == "registry") {
            Line(4, "key path: " + U8(entry.keyPath));
            Line(4, "value name: " + U8(entry.valueName));
            Line(4, "key name: " + U8(entry.keyName));
            Line(4, "value type " + std::to_string(entry.valueType));
            Data("first value data", entry.valueType, entry.firstValueData);
            Data("second value data", entry.valueType, entry.secondValueData);
        }
    }

    void Data(const std::string& label, uint32_t valueType, const std::vector<uint8_t>& bytes) {
        const std::string text = DataText(valueType, bytes);
        Line(4, label + ": " + Hex(Trimmed(bytes)) + (text.empty() ? "" : " " + Quoted(text)));
    }

    template <class T>
    static std::string Optional(const std::optional<T>& value) {
        return value ? std::to_string(*value) : "(none)";
    }

    bool withLog_;
    bool explain_;
    ReplaySink sink_;
    std::string out_;
};

class JsonReport final : public ReplayWriter {
  public:
    JsonReport(bool withLog, bool explain, ReplaySink sink)
        : writer_(buffer_), withLog_(withLog), explain_(explain), sink_(std::move(sink)) {
        writer_.SetIndent(' ', 2);
    }

    void Begin(const ReplayReport& report) override {
        const Scenario& scenario = report.scenario;
        writer_.StartObject();
        Key("scenario", PathText(scenario.file));
        Key("configuration", PathText(scenario.configurationFile));
        Key("plugin", PathText(report.plugin));
        writer_.Key("initialised");
        writer_.Bool(report.initialised);
        writer_.Key("host");
        writer_.StartObject();
        Key("kind", scenario.cacheHost ? "cache" : "tree");
        writer_.Key("cloud");
        writer_.Bool(scenario.offersCloud);
        writer_.Key("cloudFails");
        writer_.Bool(scenario.cloudFails);
        writer_.Key("trust");
        writer_.Bool(scenario.offersTrust);
        writer_.EndObject();
        writer_.Key("system");
        writer_.StartObject();
        writer_.Key("width");
        writer_.Int(scenario.width);
        Key("windowsDirectory", U8(scenario.windowsDirectory));
        writer_.Key("pluginWidth");
        writer_.Int(report.systemWidth);
        Key("pluginWindowsDirectory", U8(report.systemWindowsDirectory));
        writer_.EndObject();
        Lines("configurationNotes", report.configurationNotes);
        if (withLog_) {
            Lines("initLog", report.initLog);
        }
        writer_.Key("events");
        writer_.StartArray();
        Flush();
    }

    void End(const ReplayReport& report) override {
        writer_.EndArray();
        writer_.Key("balanced");
        writer_.Bool(report.imbalances.empty());
        Lines("imbalances", report.imbalances);
        writer_.EndObject();
        buffer_.Put('\n');
        Flush();
    }

  private:
    static std::string PathText(const std::filesystem::path& path) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

    void Key(const char* key, const std::string& value) {
        writer_.Key(key);
        writer_.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
    }
    void Number(const char* key, int64_t value) {
        writer_.Key(key);
        writer_.Int64(value);
    }
    void Unsigned(const char* key, uint64_t value) {
        writer_.Key(key);
        writer_.Uint64(value);
    }
    template <class T>
    void Optional(const char* key, const std::optional<T>& value) {
        writer_.Key(key);
        if (!value) {
            writer_.Null();
        } else if constexpr (std::is_same_v<T, std::u16string>) {
            const std::string text = U8(*value);
            writer_.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
        } else if constexpr (std::is_same_v<T, std::string>) {
            writer_.String(value->data(), static_cast<rapidjson::SizeType>(value->size()));
        } else if constexpr (std::is_signed_v<T>) {
            writer_.Int64(*value);
        } else {
            writer_.Uint64(*value);
        }
    }
    void Lines(const char* key, const std::vector<std::string>& lines) {
        writer_.Key(key);
        writer_.StartArray();
        for (const std::string& line : lines) {
            writer_.String(line.data(), static_cast<rapidjson::SizeType>(line.size()));
        }
        writer_.EndArray();
    }

    void Event(size_t index, const EventOutcome& outcome) override {
        const ScenarioEvent& event = *outcome.event;
        writer_.StartObject();
        Number("index", static_cast<int64_t>(index + 1));
        Key("name", event.name);
        Key("pointer", event.pointer);
        Key("class", ClassName(event.eventClass));
        Number("operation", event.operation);
        Unsigned("ruleId", event.ruleId);
        Unsigned("process", event.process);
        writer_.Key("synchronous");
        writer_.Bool(event.synchronous);
        Number("verdict", outcome.verdict);
        Key("verdictName", VerdictName(outcome.verdict));
        writer_.Key("reason");
        if (outcome.explanation.reason.empty()) {
            writer_.Null();
        } else {
            const std::string& reason = outcome.explanation.reason;
            writer_.String(reason.data(), static_cast<rapidjson::SizeType>(reason.size()));
        }
        writer_.Key("popup");
        writer_.Bool(outcome.popup);
        Number("answer", event.answer);
        Unsigned("cloudQueries", outcome.cloudQueries);
        Unsigned("trustQueries", outcome.trustQueries);
        writer_.Key("request");
        if (outcome.request) {
            Request(*outcome.request);
        } else {
            writer_.Null();
        }
        if (explain_) {
            Lines("explain", outcome.explanation.lines);
        }
        if (withLog_) {
            Lines("log", outcome.log);
        }
        writer_.EndObject();
        Flush();
    }

  private:
    void Flush() {
        sink_(std::string_view(buffer_.GetString(), buffer_.GetSize()));
        buffer_.Clear();
    }

    void Request(const DecodedRequest& request) {
        writer_.StartObject();
        writer_.Key("keys");
        writer_.StartArray();
        for (const std::u16string& key : request.keys) {
            const std::string text = U8(key);
            writer_.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
        }
        writer_.EndArray();
        Optional("guardType", request.guardType);
        Optional("operatorType", request.operatorType);
        Optional("processId", request.processId);
        Optional("processCreatetime", request.processCreatetime);
        Optional("processPath", request.processPath);
        Optional("processCmd", request.processCmd);
        Optional("waitId", request.waitId);
        writer_.Key("ruleInfo");
        if (request.ruleInfo) {
            writer_.StartObject();
            Unsigned("engType", request.ruleInfo->engType);
            Unsigned("groupId", request.ruleInfo->groupId);
            Unsigned("ruleId", request.ruleInfo->ruleId);
            writer_.Key("reservedZero");
            writer_.Bool(request.ruleInfo->reservedZero);
            writer_.EndObject();
        } else {
            writer_.Null();
        }
        Optional("popWin", request.popWin);
        writer_.Key("targetList");
        if (request.targetList) {
            writer_.StartArray();
            for (const TargetEntry& entry : *request.targetList) {
                Entry(entry);
            }
            writer_.EndArray();
        } else {
            writer_.Null();
        }
        writer_.Key("processChain");
        if (request.processChain) {
            writer_.StartArray();
            for (size_t i = 0; i < request.processChain->size(); ++i) {
                const ChainEntry& entry = (*request.processChain)[i];
                writer_.StartObject();
                Number("depth", static_cast<int64_t>(i));
                Key("path", U8(entry.path));
                Number("level", entry.level);
                writer_.EndObject();
            }
            writer_.EndArray();
        } else {
            writer_.Null();
        }
        Optional("isOutLog", request.isOutLog);
        Lines("problems", request.problems);
        writer_.EndObject();
    }

    void Entry(const TargetEntry& entry) {
        writer_.StartObject();
        Unsigned("targetType", entry.targetType);
        Key("targetTypeName", TargetTypeName(entry.targetType));
        Unsigned("engineKind", entry.engineKind);
        Unsigned("engineId", entry.engineId);
        Unsigned("handlingType", entry.handlingType);
        Key("handlingName", HandlingName(entry.handlingType));
        Key("riskName", U8(entry.riskName));
        Unsigned("riskType", entry.riskType);
        Number("fileLevel", entry.fileLevel);
        Key("md5", Hex(entry.md5));
        Key("sha1", Hex(entry.sha1));
        const std::string body = BodyKind(entry.targetType);
        Key("body", body);
        if (body == "process") {
            Unsigned("processId", entry.processId);
            Unsigned("parentProcessId", entry.parentProcessId);
            Key("imagePath", U8(entry.imagePath));
            Key("commandLine", U8(entry.commandLine));
        } else if (body == "file") {
            Key("filePath", U8(entry.filePath));
            Key("firstExtraPath", U8(entry.firstExtraPath));
            Key("secondExtraPath", U8(entry.secondExtraPath));
        } else if (body == "registry") {
            Key("keyPath", U8(entry.keyPath));
            Key("valueName", U8(entry.valueName));
            Key("keyName", U8(entry.keyName));
            Unsigned("valueType", entry.valueType);
            Key("firstValueData", Hex(Trimmed(entry.firstValueData)));
            Key("secondValueData", Hex(Trimmed(entry.secondValueData)));
            Key("firstValueText", DataText(entry.valueType, entry.firstValueData));
            Key("secondValueText", DataText(entry.valueType, entry.secondValueData));
        }
        writer_.EndObject();
    }

    rapidjson::StringBuffer buffer_;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer_;
    bool withLog_;
    bool explain_;
    ReplaySink sink_;
};

}  // namespace

std::unique_ptr<ReplayWriter> MakeReplayWriter(bool json, bool withLog, bool explain,
                                               ReplaySink sink) {
    if (json) {
        return std::make_unique<JsonReport>(withLog, explain, std::move(sink));
    }
    return std::make_unique<TextReport>(withLog, explain, std::move(sink));
}

}  // namespace tierlock_host
