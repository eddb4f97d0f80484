// Building configurations, reading the model the parser makes of them, and finding lines in
// the host's log.
#pragma once

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "rules/rules.h"
#include "simhost/text.h"

namespace tierlock {
// Failures show ranges as the rule dump writes them.
inline void PrintTo(const LevelRange& range, std::ostream* out) {
    *out << "|" << range.level << "." << range.sub_level_low << "-" << range.sub_level_high << "|";
}
}  // namespace tierlock

// A configuration with one mode (id 1) holding one item with the given level key and text,
// and one rule naming it.
inline std::string OneItemConfig(const std::string& key, const std::string& levels,
                                 const std::string& ruleExtra = "") {
    return R"({"enable":1,"matchmode":[{"modeid":1,"mode":[{"id":1,")" + key + R"(":")" + levels +
           R"(","popwnd":"1"}]}],"rules":[{"id":1,"modeid":1)" + ruleExtra + "}]}";
}

// What the parser makes of a configuration.
struct ParsedModel {
    bool ok = false;
    tierlock::MatchRules rules;
    tierlock::MatchNodes nodes;
    tierlock::ParsedOptions options;

    // The items of a mode; empty when the mode was not kept.
    std::vector<tierlock::MatchModeItem> Items(uint32_t modeId) const {
        const auto it = nodes.find(modeId);
        return it == nodes.end() ? std::vector<tierlock::MatchModeItem>() : it->second;
    }
    std::vector<uint32_t> ModeIds() const {
        std::vector<uint32_t> ids;
        for (const auto& [id, items] : nodes) {
            ids.push_back(id);
        }
        return ids;
    }
};

inline ParsedModel ParseModel(const std::string& config) {
    ParsedModel model;
    model.ok = tierlock::ParseOption(config, model.rules, model.nodes, model.options);
    return model;
}

using Ranges = tierlock::LevelRangeList;

inline bool HasLine(const std::vector<std::u16string>& lines, const std::u16string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline size_t CountLines(const std::vector<std::u16string>& lines, const std::u16string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}
