// Rule configuration: the JSON document, level expressions and the rule dump.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "rules/rule_model.h"

namespace tierlock {

// Appends the non-empty pieces of text between any of the delimiter bytes.
void SplitString(std::string_view text, std::string_view delimiters,
                 std::vector<std::string>& pieces);

// The leading decimal number of text as strtoul reads it in base 10 with a 32-bit result.
uint32_t ReadUnsignedDecimal(std::string_view text);

// Appends the ranges of a level list such as "10.0,70.3"; true in every case.
bool SplitString2Levels(std::string_view text, LevelRangeList& ranges);

// Inserts every number of a comma list into ids.
void SplitRuleIds(std::string_view text, std::set<uint32_t>& ids);

// What a configuration document sets besides the model.
struct ParsedOptions {
    std::optional<bool> enable;  // present when "enable" is an integer
};

// Reads a configuration document (up to its first zero byte) into the model. Only adds:
// rules are appended, mode lists set per mode id. True when "matchmode" and "rules" were read.
bool ParseOption(std::string_view text, MatchRules& rules, MatchNodes& matchNodes,
                 ParsedOptions& options);

// Writes one rule with its match mode as one INFO line (only when INFO lines are wanted).
void PRINTF_MACTCH_RULE(const MatchRule& rule, const MatchNodes& matchNodes);

}  // namespace tierlock
