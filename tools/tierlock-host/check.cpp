#include "check.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "config_check.h"
#include "plugin_session.h"
#include "simhost/plugin_library.h"

namespace tierlock_host {

const char kCheckUsage[] =
    "usage: tierlock-host check [--json] [--plugin LIBRARY] FILE...\n"
    "  Initialises the plug-in with each configuration FILE and prints what it accepts and\n"
    "  rejects, and why. Exit status: 0 nothing rejected, 1 something rejected, 2 a file\n"
    "  could not be read or parsed. --json prints one JSON document instead.\n";

namespace {

std::string Where(const std::string& path, size_t line) {
    if (path.empty()) {
        return "the document";
    }
    return line > 0 ? path + ", line " + std::to_string(line) : path;
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

void PrintText(const FileReport& report) {
    std::printf("%s: %s\n", report.file.c_str(), StatusWord(report.status));
    if (report.syntax) {
        std::printf("  syntax error at line %zu, column %zu: %s\n", report.syntax->position.line,
                    report.syntax->position.column, report.syntax->message.c_str());
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
                    Where(mode.path, mode.line).c_str(), Join(mode.itemIds).c_str());
    }
    for (const AcceptedRule& rule : report.rules) {
        std::printf("  rule %lld (%s): eventtype %lld, reporttype %lld, ruleid %s, modeid %lld\n",
                    static_cast<long long>(rule.id), Where(rule.path, rule.line).c_str(),
                    static_cast<long long>(rule.eventType), static_cast<long long>(rule.reportType),
                    Join(rule.ruleIds).c_str(), static_cast<long long>(rule.modeId));
    }
    for (const Rejection& r : report.rejections) {
        std::string log;
        for (const std::string& message : r.log) {
            log += (log.empty() ? " [plug-in: " : " | ") + message;
        }
        std::printf("  rejected %s (%s): %s%s\n", Subject(r).c_str(), Where(r.path, r.line).c_str(),
                    r.reason.c_str(), log.empty() ? "" : (log + "]").c_str());
    }
    std::printf(
        "  accepted: %zu match modes, %zu items, %zu rules; rejected: %zu; rules without a "
        "match mode: %zu\n",
        report.modes.size(), report.Items(), report.rules.size(), report.rejections.size(),
        report.RulesWithoutMatchMode());
}

using Pretty = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

void WriteLocation(Pretty& w, const std::string& path, size_t line) {
    w.Key("path");
    w.String(path.c_str());
    w.Key("line");
    line > 0 ? w.Uint64(line) : w.Null();
}

void WriteFile(Pretty& w, const FileReport& report) {
    w.StartObject();
    w.Key("file");
    w.String(report.file.c_str());
    w.Key("status");
    w.String(StatusWord(report.status));
    w.Key("exitStatus");
    w.Int(report.status);
    if (!report.failure.empty()) {
        w.Key("failure");
        w.String(report.failure.c_str());
    }
    if (report.syntax) {
        w.Key("syntaxError");
        w.StartObject();
        w.Key("line");
        w.Uint64(report.syntax->position.line);
        w.Key("column");
        w.Uint64(report.syntax->position.column);
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
            WriteLocation(w, mode.path, mode.line);
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
            WriteLocation(w, rule.path, rule.line);
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
            WriteLocation(w, r.path, r.line);
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
        w.EndObject();
    }
    w.EndObject();
}

}  // namespace

int RunCheck(int argc, char** argv) {
    bool json = false;
    std::filesystem::path pluginPath = simhost::DefaultPluginPath();
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            return -1;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) {
        return -1;
    }

    std::string error;
    auto library = simhost::PluginLibrary::Load(pluginPath, false, &error);
    if (!library) {
        std::fprintf(stderr, "tierlock-host: cannot load %s: %s\n", pluginPath.string().c_str(),
                     error.c_str());
        return 2;
    }
    PluginSession session(*library);
    std::vector<FileReport> reports;
    int status = 0;
    for (const std::string& file : files) {
        reports.push_back(CheckConfiguration(session, file));
        status = std::max(status, reports.back().status);
    }

    if (json) {
        rapidjson::StringBuffer buffer;
        Pretty w(buffer);
        w.StartObject();
        w.Key("files");
        w.StartArray();
        for (const FileReport& report : reports) {
            WriteFile(w, report);
        }
        w.EndArray();
        w.Key("exitStatus");
        w.Int(status);
        w.EndObject();
        std::fwrite(buffer.GetString(), 1, buffer.GetSize(), stdout);
        std::fputc('\n', stdout);
    } else {
        for (const FileReport& report : reports) {
            PrintText(report);
        }
    }
    return status;
}

}  // namespace tierlock_host
