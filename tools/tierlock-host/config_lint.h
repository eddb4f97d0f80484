// The tool's own reading of a configuration, beside the plug-in's verdict: what the plug-in
// silently ignores (unknown keys, repeated keys, values of another type, text after a zero
// byte) or reads otherwise than it looks (level and rule-id texts, invalid UTF-8).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <rapidjson/document.h>

#include "config_check.h"
#include "json_locations.h"

namespace tierlock_host {

// text is the JSON text the plug-in reads (up to the first zero byte) of the file map shows.
std::vector<Warning> LintConfiguration(const TextMap& map, std::string_view text);

// The first place document breaks the configuration schema, as a warning without a position;
// nothing when it satisfies it.
std::vector<Warning> SchemaWarnings(const rapidjson::Document& document);

// How the plug-in reads one level entry or rule-id piece: the strtoul reading, 32 bits.
uint32_t ReadNumber(std::string_view piece);

}  // namespace tierlock_host
