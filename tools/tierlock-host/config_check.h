// What the plug-in makes of one configuration file: the match modes and rules it keeps, and
// everything it drops, each with where it stands in the file and why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "json_locations.h"
#include "plugin_session.h"

namespace tierlock_host {

// Where a fact stands: a JSON pointer ("/matchmode/0/mode/1"; empty for the whole document)
// and its line and column (0 when unknown).
struct Location {
    std::string pointer;
    TextPosition position;
};

struct AcceptedMode {
    int64_t modeId = 0;
    Location where;
    std::vector<int64_t> itemIds;
};

struct AcceptedRule {
    int64_t id = 0;
    int64_t eventType = 0;
    int64_t reportType = 0;
    int64_t modeId = 0;
    std::vector<uint32_t> ruleIds;
    Location where;
};

struct Rejection {
    std::string kind;  // "document", "mode", "item", "level" or "rule"
    Location where;
    std::optional<int64_t> id;      // of the item or rule
    std::optional<int64_t> modeId;  // the mode an item belongs to, or the one a rule names
    std::string key;                // the level key, for a level text
    std::string text;               // the level text
    std::string reason;
    std::vector<std::string> log;  // the plug-in's own messages about it
};

// Something the plug-in reads silently otherwise than it looks, or ignores.
struct Warning {
    std::string kind;  // "key", "type", "level", "ruleid", "encoding", "schema"
    Location where;
    std::string message;
};

struct FileReport {
    std::string file;
    int status = 0;  // 0 nothing rejected, 1 something rejected, 2 not read or not parsed
    std::string failure;
    std::optional<SyntaxError> syntax;
    TextPosition syntaxPosition;
    std::optional<int64_t> enable;
    std::vector<AcceptedMode> modes;
    std::vector<AcceptedRule> rules;
    std::vector<Rejection> rejections;
    std::vector<Warning> warnings;

    size_t Items() const;
    size_t RulesWithoutMatchMode() const;
};

// Loads file ("-": standard input) into fresh plug-in objects of the session and reports the
// outcome; a file larger than maxSize bytes is not read.
FileReport CheckConfiguration(PluginSession& session, const std::string& file, uint64_t maxSize);

}  // namespace tierlock_host
