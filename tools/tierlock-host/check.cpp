#include "check.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "config_check.h"
#include "input_file.h"
#include "plugin_session.h"
#include "simhost/plugin_library.h"

namespace tierlock_host {

const char kCheckUsage[] =
    "usage: tierlock-host check [--json] [--strict] [--plugin LIBRARY] [--max-size BYTES]\n"
    "                           [--] FILE...\n"
    "  Initialises the plug-in with each configuration FILE (\"-\": standard input) and prints\n"
    "  what it accepts and rejects, and why, each with its line:column and JSON pointer; then\n"
    "  warnings for what the plug-in silently ignores or reads otherwise than it looks.\n"
    "  --json      prints one JSON document instead\n"
    "  --strict    warnings count as rejections (exit status 1)\n"
    "  --plugin    loads the plug-in library at the path LIBRARY instead of the one beside\n"
    "              this tool\n"
    "  --max-size  reads no file larger than BYTES (default 64M; k, M and G suffixes)\n"
    "  exit status: 0 nothing rejected, 1 something rejected, 2 a file could not be read or\n"
    "  parsed, or bad arguments\n";

namespace {

std::string Where(const Location& where) {
    std::string text = where.position.line > 0 ? PositionText(where.position) + " " : "";
    return text + (where.pointer.empty() ? "the document" : where.pointer);
}

std::string Join(const std::vector<int64_t>& values) {
    std::string text;
    for (int64_t value : values) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

std::string Join(const std::vector<uint32_t>& values) {
    return Join(std::vector<int64_t>(values.begin(), values.end()));
}

const char* StatusWord(int status) {
    return status == 0 ? "clean" : status == 1 ? "rejected" : "not loaded";
}

std::string Subject(const Rejection& r) {
    std::string subject = r.kind;
    if (r.kind == "level") {
        subject += " " + r.key + " \"" + r.text + "\"";
    }
    if (r.id) {
        subject += (r.kind == "level" ? " of item " : " ") + std::to_string(*r.id);
    }
    if (r.modeId && r.kind != "rule") {
        subject += (r.kind == "mode" ? " " : " of match mode ") + std::to_string(*r.modeId);
    }
    return subject;
}

void PrintText(const FileReport& report, int status) {
    std::printf("%s: %s\n", report.file.c_str(), StatusWord(status));
    if (report.syntax) {
        std::printf(
            "  syntax error at %s %s: %s\n", PositionText(report.syntaxPosition).c_str(),
            report.syntax->pointer.empty() ? "(the document)" : report.syntax->pointer.c_str(),
            report.syntax->message.c_str());
    } else if (!report.failure.empty()) {
        std::printf("  %s\n", report.failure.c_str());
    }
    if (report.status == 2) {
        return;
    }
    if (report.enable) {
        std::printf("  enable=%lld\n", static_cast<long long>(*report.enable));
    }
    for (const AcceptedMode& mode : report.modes) {
        std::printf("  match mode %lld (%s): items %s\n", static_cast<long long>(mode.modeId),
                    Where(mode.where).c_str(), Join(mode.itemIds).c_str());
    }
    for (const AcceptedRule& rule : report.rules) {
        std::printf("  rule %lld (%s): eventtype %lld, reporttype %lld, ruleid %s, modeid %lld\n",
                    static_cast<long long>(rule.id), Where(rule.where).c_str(),
                    static_cast<long long>(rule.eventType), static_cast<long long>(rule.reportType),
                    Join(rule.ruleIds).c_str(), static_cast<long long>(rule.modeId));
    }
    for (const Rejection& r : report.rejections) {
        std::string log;
        for (const std::string& message : r.log) {
            log += (log.empty() ? " [plug-in: " : " | ") + message;
        }
        std::printf("  rejected %s (%s): %s%s\n", Subject(r).c_str(), Where(r.where).c_str(),
                    r.reason.c_str(), log.empty() ? "" : (log + "]").c_str());
    }
    for (const Warning& w : report.warnings) {
        std::printf("  warning (%s): %s\n", Where(w.where).c_str(), w.message.c_str());
    }
    std::printf(
        "  accepted: %zu match modes, %zu items, %zu rules; rejected: %zu; rules without a "
        "match mode: %zu; warnings: %zu\n",
        report.modes.size(), report.Items(), report.rules.size(), report.rejections.size(),
        report.RulesWithoutMatchMode(), report.warnings.size());
}

using Pretty = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

void WriteLocation(Pretty& w, const Location& where) {
    w.Key("pointer");
    w.String(where.pointer.c_str());
    w.Key("line");
    where.position.line > 0 ? w.Uint64(where.position.line) : w.Null();
    w.Key("column");
    where.position.line > 0 ? w.Uint64(where.position.column) : w.Null();
}

void WriteFile(Pretty& w, const FileReport& report, int status) {
    w.StartObject();
    w.Key("file");
    w.String(report.file.c_str());
    w.Key("status");
    w.String(StatusWord(status));
    w.Key("exitStatus");
    w.Int(status);
    if (!report.failure.empty()) {
        w.Key("failure");
        w.String(report.failure.c_str());
    }
    if (report.syntax) {
        w.Key("syntaxError");
        w.StartObject();
        w.Key("line");
        w.Uint64(report.syntaxPosition.line);
        w.Key("column");
        w.Uint64(report.syntaxPosition.column);
        w.Key("pointer");
        w.String(report.syntax->pointer.c_str());
        w.Key("offset");
        w.Uint64(report.syntax->offset);
        w.Key("message");
        w.String(report.syntax->message.c_str());
        w.EndObject();
    }
    if (report.status != 2) {
        w.Key("enable");
        report.enable ? w.Int64(*report.enable) : w.Null();
        w.Key("matchModes");
        w.StartArray();
        for (const AcceptedMode& mode : report.modes) {
            w.StartObject();
            w.Key("modeid");
            w.Int64(mode.modeId);
            WriteLocation(w, mode.where);
            w.Key("items");
            w.StartArray();
            for (int64_t id : mode.itemIds) {
                w.Int64(id);
            }
            w.EndArray();
            w.EndObject();
        }
        w.EndArray();
        w.Key("rules");
        w.StartArray();
        for (const AcceptedRule& rule : report.rules) {
            w.StartObject();
            w.Key("id");
            w.Int64(rule.id);
            WriteLocation(w, rule.where);
            w.Key("eventtype");
            w.Int64(rule.eventType);
            w.Key("reporttype");
            w.Int64(rule.reportType);
            w.Key("ruleid");
            w.StartArray();
            for (uint32_t id : rule.ruleIds) {
                w.Uint(id);
            }
            w.EndArray();
            w.Key("modeid");
            w.Int64(rule.modeId);
            w.EndObject();
        }
        w.EndArray();
        w.Key("rejected");
        w.StartArray();
        for (const Rejection& r : report.rejections) {
            w.StartObject();
            w.Key("kind");
            w.String(r.kind.c_str());
            WriteLocation(w, r.where);
            if (r.id) {
                w.Key("id");
                w.Int64(*r.id);
            }
            if (r.modeId) {
                w.Key("modeid");
                w.Int64(*r.modeId);
            }
            if (r.kind == "level") {
                w.Key("key");
                w.String(r.key.c_str());
                w.Key("text");
                w.String(r.text.c_str());
            }
            w.Key("reason");
            w.String(r.reason.c_str());
            w.Key("log");
            w.StartArray();
            for (const std::string& message : r.log) {
                w.String(message.c_str());
            }
            w.EndArray();
            w.EndObject();
        }
        w.EndArray();
        w.Key("warnings");
        w.StartArray();
        for (const Warning& warning : report.warnings) {
            w.StartObject();
            w.Key("kind");
            w.String(warning.kind.c_str());
            WriteLocation(w, warning.where);
            w.Key("message");
            w.String(warning.message.c_str());
            w.EndObject();
        }
        w.EndArray();
        w.Key("summary");
        w.StartObject();
        w.Key("matchModes");
        w.Uint64(report.modes.size());
        w.Key("items");
        w.Uint64(report.Items());
        w.Key("rules");
        w.Uint64(report.rules.size());
        w.Key("rejected");
        w.Uint64(report.rejections.size());
        w.Key("rulesWithoutMatchMode");
        w.Uint64(report.RulesWithoutMatchMode());
        w.Key("warnings");
        w.Uint64(report.warnings.size());
        w.EndObject();
    }
    w.EndObject();
}

// Under --strict a warning counts as a rejection.
int StatusOf(const FileReport& report, bool strict) {
    return report.status == 0 && strict && !report.warnings.empty() ? 1 : report.status;
}

}  // namespace

int RunCheck(int argc, char** argv) {
    bool json = false, strict = false, operandsOnly = false;
    uint64_t maxSize = kDefaultMaxInputSize;
    std::filesystem::path pluginPath = simhost::DefaultPluginPath();
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool valued = i + 1 < argc;
        if (operandsOnly || !IsOption(argv[i])) {
            files.push_back(argument);
        } else if (argument == "--") {
            operandsOnly = true;
        } else if (argument == "--help" || argument == "-h") {
            return kHelpAsked;
        } else if (argument == "--json") {
            json = true;
        } else if (argument == "--strict") {
            strict = true;
        } else if (argument == "--plugin" && valued) {
            pluginPath = PluginPathArgument(argv[++i]);
        } else if (argument == "--max-size" && valued) {
            const std::optional<uint64_t> size = ParseSize(argv[++i]);
            if (!size) {
                return ArgumentError("--max-size takes a byte count, such as 64M");
            }
            maxSize = *size;
        } else {
            return OptionError(argv[i], {"--plugin", "--max-size"});
        }
    }
    if (files.empty()) {
        return ArgumentError("check needs at least one FILE");
    }

    std::string error;
    auto library = simhost::PluginLibrary::Load(pluginPath, false, &error);
    if (!library) {
        std::fprintf(stderr, "tierlock-host: cannot load %s: %s\n", PathText(pluginPath).c_str(),
                     error.c_str());
        return 2;
    }
    PluginSession session(*library);
    int status = 0;
    rapidjson::StringBuffer buffer;
    Pretty w(buffer);
    if (json) {
        w.StartObject();
        w.Key("files");
        w.StartArray();
    }
    // Each file's report is written as soon as it is made and not kept.
    for (const std::string& file : files) {
        const FileReport report = CheckConfiguration(session, file, maxSize);
        const int fileStatus = StatusOf(report, strict);
        status = std::max(status, fileStatus);
        if (json) {
            WriteFile(w, report, fileStatus);
            std::fwrite(buffer.GetString(), 1, buffer.GetSize(), stdout);
            buffer.Clear();
        } else {
            PrintText(report, fileStatus);
        }
        std::fflush(stdout);
    }
    if (json) {
        w.EndArray();
        w.Key("exitStatus");
        w.Int(status);
        w.EndObject();
        std::fwrite(buffer.GetString(), 1, buffer.GetSize(), stdout);
        std::fputc('\n', stdout);
    }
    return status;
}

}  // namespace tierlock_host
