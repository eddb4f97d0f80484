#include <algorithm>
#include <cstring>

#include <rapidjson/document.h>

#include "log/log.h"
#include "rules/rules.h"

namespace tierlock {
namespace {

constexpr const char* kTag = "Tierlock::ParseOption";

// A valid configuration nests four levels deep; anything far deeper is refused before parsing
// so that no later walk of the document can exhaust the host thread's stack.
constexpr int kMaxNesting = 128;

bool NestingWithinLimit(std::string_view text) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxNesting) {
                return false;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

using Value = rapidjson::Value;

// Only a signed 32-bit JSON integer counts; the first of two equal keys is the one found.
std::optional<int32_t> IntMember(const Value& object, const char* key) {
    auto it = object.FindMember(key);
    if (it == object.MemberEnd() || !it->value.IsInt()) {
        return std::nullopt;
    }
    return it->value.GetInt();
}

// The string up to its first zero byte, or null when the member is not a string.
const char* StringMember(const Value& object, const char* key) {
    auto it = object.FindMember(key);
    if (it == object.MemberEnd() || !it->value.IsString()) {
        return nullptr;
    }
    return it->value.GetString();
}

const Value* ArrayMember(const Value& object, const char* key) {
    auto it = object.FindMember(key);
    if (it == object.MemberEnd() || !it->value.IsArray()) {
        return nullptr;
    }
    return &it->value;
}

void ReadLevels(const Value& object, const char* key, LevelRangeList& ranges) {
    const char* text = StringMember(object, key);
    if (text && *text) {
        SplitString2Levels(text, ranges);
    }
}

std::vector<MatchModeItem> ReadModeItems(const Value& element, int32_t modeId) {
    std::vector<MatchModeItem> items;
    const Value* mode = ArrayMember(element, "mode");
    if (!mode) {
        return items;
    }
    for (rapidjson::SizeType i = 0; i < mode->Size(); ++i) {
        const Value& source = (*mode)[i];
        if (!source.IsObject()) {
            Log(LogLevel::Error, kTag, u"mode item %d of modeid=%d is not an object, skipped", i,
                modeId);
            continue;
        }
        MatchModeItem item;
        item.id = static_cast<uint32_t>(IntMember(source, "id").value_or(0));
        ReadLevels(source, "srclvl", item.src_level);
        ReadLevels(source, "dstlvl", item.dst_level);
        ReadLevels(source, "plvl", item.parent_process_level);
        ReadLevels(source, "chainlvl", item.process_chain_level);
        if (const char* popwnd = StringMember(source, "popwnd")) {
            item.popwnd = popwnd;
        }
        const bool anyLevels = !item.src_level.empty() || !item.dst_level.empty() ||
                               !item.parent_process_level.empty() ||
                               !item.process_chain_level.empty();
        if (item.popwnd.empty() || !anyLevels) {
            Log(LogLevel::Error, kTag, u"Invalid Item,id=%d", item.id);
            continue;
        }
        items.push_back(std::move(item));
    }
    return items;
}

void ReadMatchModes(const Value& matchmode, MatchNodes& matchNodes) {
    for (rapidjson::SizeType i = 0; i < matchmode.Size(); ++i) {
        const Value& element = matchmode[i];
        if (!element.IsObject()) {
            Log(LogLevel::Error, kTag, u"matchmode element %d is not an object, skipped", i);
            continue;
        }
        const std::optional<int32_t> modeId = IntMember(element, "modeid");
        if (!modeId) {
            Log(LogLevel::Info, kTag, u"modeid not find");
            continue;
        }
        std::vector<MatchModeItem> items = ReadModeItems(element, *modeId);
        if (items.empty()) {
            continue;
        }
        std::stable_sort(
            items.begin(), items.end(),
            [](const MatchModeItem& a, const MatchModeItem& b) { return a.id < b.id; });
        Log(LogLevel::Info, kTag, u"Insert new modeid=%d", *modeId);
        matchNodes[static_cast<uint32_t>(*modeId)] = std::move(items);
    }
}

void ReadRules(const Value& rulesArray, const MatchNodes& matchNodes, MatchRules& rules) {
    for (rapidjson::SizeType i = 0; i < rulesArray.Size(); ++i) {
        const Value& element = rulesArray[i];
        if (!element.IsObject()) {
            Log(LogLevel::Error, kTag, u"rules element %d is not an object, skipped", i);
            continue;
        }
        MatchRule rule;
        rule.id = static_cast<uint32_t>(IntMember(element, "id").value_or(0));
        rule.type = static_cast<uint32_t>(IntMember(element, "eventtype").value_or(0));
        rule.report_type = static_cast<uint32_t>(IntMember(element, "reporttype").value_or(0));
        rule.mode_id = static_cast<uint32_t>(IntMember(element, "modeid").value_or(0));
        if (const char* ruleIds = StringMember(element, "ruleid")) {
            SplitRuleIds(ruleIds, rule.ruleid);
        }
        if (matchNodes.find(rule.mode_id) == matchNodes.end()) {
            Log(LogLevel::Error, kTag, u"not found Modeid=%d", rule.mode_id);
            continue;
        }
        rules.push_back(std::move(rule));
        PRINTF_MACTCH_RULE(rules.back(), matchNodes);
    }
}

}  // namespace

bool ParseOption(std::string_view text, MatchRules& rules, MatchNodes& matchNodes,
                 ParsedOptions& options) {
    text = text.substr(0, std::min(text.size(), text.find('\0')));

    rapidjson::Document document;
    if (!NestingWithinLimit(text)) {
        Log(LogLevel::Error, kTag, u"nesting deeper than %d refused", kMaxNesting);
        Log(LogLevel::Error, kTag, u"json parse Fail");
        return false;
    }
    // Iterative parsing: the host thread's stack is small and the text is untrusted.
    document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    if (document.HasParseError()) {
        Log(LogLevel::Error, kTag, u"json parse Fail");
        return false;
    }
    if (!document.IsObject()) {
        Log(LogLevel::Error, kTag, u"root is not an object, refused");
        Log(LogLevel::Error, kTag, u"json parse Fail");
        return false;
    }

    if (const std::optional<int32_t> enable = IntMember(document, "enable")) {
        options.enable = *enable != 0;
        Log(LogLevel::Info, kTag, u"enable=%d", *enable != 0 ? 1 : 0);
    }

    Log(LogLevel::Info, kTag, u"parse rules matchmode");
    const Value* matchmode = ArrayMember(document, "matchmode");
    if (!matchmode) {
        Log(LogLevel::Error, kTag, u"matchmode not found");
        return false;
    }
    ReadMatchModes(*matchmode, matchNodes);

    Log(LogLevel::Info, kTag, u"parse rules config");
    const Value* rulesArray = ArrayMember(document, "rules");
    if (!rulesArray) {
        Log(LogLevel::Error, kTag, u"rules not found");
        return false;
    }
    ReadRules(*rulesArray, matchNodes, rules);
    std::stable_sort(rules.begin(), rules.end(),
                     [](const MatchRule& a, const MatchRule& b) { return a.id < b.id; });
    return true;
}

}  // namespace tierlock
