// Reading a configuration's members the way the plug-in reads them, and the small documents
// that load one piece of a configuration into a plug-in object on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <rapidjson/document.h>

namespace tierlock_host {

using JsonValue = rapidjson::Value;

// The first of repeated keys, as the plug-in reads it; null when object is not an object.
const JsonValue* Member(const JsonValue& object, const char* key);
std::optional<int64_t> IntMember(const JsonValue& object, const char* key);  // 32-bit only
const char* StringMember(const JsonValue& object, const char* key);

// {"matchmode":[element],"rules":[]}
std::string ElementProbe(const JsonValue& element);
// The item alone in match mode 0, with a rule on that mode so that an accepted item is dumped
// with its id.
std::string ItemProbe(const JsonValue& item);
// One level text on an otherwise valid item, so that the notes the plug-in writes are its own.
std::string LevelProbe(const char* key, const char* text);

}  // namespace tierlock_host
