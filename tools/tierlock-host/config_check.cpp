// The plug-in is the only judge here: the tool initialises real plug-in objects and reads what
// they log, whose texts are fixed. The whole file is loaded once, as a host would; since an
// accepted item logs nothing, each match mode element, each item and each level text is then
// loaded again on its own in a small document, so that every line the plug-in writes belongs
// to exactly one place in the file. The tool's own reading of the document only names and
// locates those places and explains the plug-in's terse messages.
#include "config_check.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include <rapidjson/document.h>

#include "config_lint.h"
#include "config_probes.h"
#include "input_file.h"

namespace tierlock_host {

size_t FileReport::Items() const {
    size_t items = 0;
    for (const AcceptedMode& mode : modes) {
        items += mode.itemIds.size();
    }
    return items;
}

size_t FileReport::RulesWithoutMatchMode() const {
    return static_cast<size_t>(
        std::count_if(rejections.begin(), rejections.end(),
                      [](const Rejection& r) { return r.kind == "rule" && r.modeId.has_value(); }));
}

namespace {

using Value = JsonValue;

constexpr const char* kParseTag = "Tierlock::ParseOption";
constexpr const char* kLevelsTag = "Tierlock::SplitString2Levels";
constexpr const char* kDumpTag = "Tierlock::PRINTF_MACTCH_RULE";
const char* const kLevelKeys[] = {"srclvl", "dstlvl", "plvl", "chainlvl"};
// The plug-in refuses documents nested deeper; the tool's own reading stops there too.
constexpr size_t kMaxNesting = 128;

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The signed number that follows marker in text.
std::optional<int64_t> NumberAfter(std::string_view text, std::string_view marker) {
    const size_t at = text.find(marker);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string rest(text.substr(at + marker.size()));
    char* end = nullptr;
    const long long value = std::strtoll(rest.c_str(), &end, 10);
    if (end == rest.c_str()) {
        return std::nullopt;
    }
    return value;
}

bool IsParseLine(const PluginLine& line, std::string_view prefix) {
    return line.tag == kParseTag && StartsWith(line.message, prefix);
}

bool IsNotAnObjectLine(const PluginLine& line) {
    return line.tag == kParseTag && line.message.find("is not an object") != std::string::npos;
}

size_t EntryCount(std::string_view levels) {
    size_t entries = 0;
    bool inEntry = false;
    for (char c : levels) {
        if (c == ',') {
            inEntry = false;
        } else if (!inEntry) {
            inEntry = true;
            ++entries;
        }
    }
    return entries;
}

class Checker {
  public:
    Checker(PluginSession& session, FileReport& report) : session_(session), report_(report) {}

    void Check(std::string_view bytes);
    // Gives every fact its line and column, in one pass over the text.
    void Locate(const TextMap& map, std::string_view text);

  private:
    std::vector<PluginLine> Load(std::string_view config);
    void CheckModes(const Value& matchmode);
    std::vector<int64_t> CheckItems(const Value& element, const std::string& path,
                                    std::optional<int64_t> modeId);
    void CheckLevels(const Value& item, const std::string& path, std::optional<int64_t> itemId,
                     std::optional<int64_t> modeId);
    void CheckRules(const std::vector<PluginLine>& whole, const Value* rules);
    // Records a rejection at path (empty for the whole document); the caller adds the ids.
    Rejection& Reject(std::string kind, std::string pointer, std::string reason,
                      std::vector<std::string> log = {}) {
        Rejection& rejection = report_.rejections.emplace_back();
        rejection.kind = std::move(kind);
        rejection.where.pointer = std::move(pointer);
        rejection.reason = std::move(reason);
        rejection.log = std::move(log);
        return rejection;
    }

    PluginSession& session_;
    FileReport& report_;
    bool refused_ = false;
};

std::vector<PluginLine> Checker::Load(std::string_view config) {
    std::optional<std::vector<PluginLine>> lines = session_.InitOnce(config);
    if (!lines) {
        refused_ = true;
        return {};
    }
    return *lines;
}

void Checker::Check(std::string_view bytes) {
    // The plug-in reads up to the first zero byte; so does everything here.
    const TextMap map(bytes);
    const std::string_view text = map.json().substr(0, map.json().find('\0'));
    if (const std::optional<size_t> deep = NestingBeyond(text, kMaxNesting)) {
        report_.status = 2;
        report_.failure = "nested more than " + std::to_string(kMaxNesting) + " levels deep at " +
                          PositionText(map.PositionOf(*deep)) + ", which the plug-in refuses";
        return;  // refused by the same rule the plug-in follows, without making it read all
    }
    const std::vector<PluginLine> whole = Load(bytes);
    if (refused_) {
        report_.status = 2;
        report_.failure = "the plug-in library refused to create a plug-in object";
        return;
    }
    if ((report_.syntax = FindSyntaxError(text))) {
        report_.status = 2;
        report_.failure = "JSON syntax error";
        report_.syntaxPosition = map.PositionOf(report_.syntax->offset);
        return;
    }
    std::string refusal;
    for (const PluginLine& line : whole) {
        if (line.tag == kParseTag && line.level == 35) {
            refusal += (refusal.empty() ? "" : "; ") + line.message;
        }
        if (IsParseLine(line, "json parse Fail")) {
            report_.status = 2;
            report_.failure = "the plug-in refused the document: " + refusal;
            return;
        }
        if (IsParseLine(line, "enable=")) {
            report_.enable = NumberAfter(line.message, "enable=");
        }
    }

    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    auto saw = [&](std::string_view message) {
        return std::any_of(whole.begin(), whole.end(),
                           [&](const PluginLine& line) { return IsParseLine(line, message); });
    };
    const Value* matchmode = Member(document, "matchmode");
    if (saw("matchmode not found") || !matchmode || !matchmode->IsArray()) {
        Reject("document", "", "matchmode missing or not an array; no match mode or rule is read",
               {"matchmode not found"});
    } else {
        CheckModes(*matchmode);
        const Value* rules = Member(document, "rules");
        if (saw("rules not found") || !rules || !rules->IsArray()) {
            Reject("document", "", "rules missing or not an array; no rule is read",
                   {"rules not found"});
        } else {
            CheckRules(whole, rules);
        }
    }
    if (refused_) {
        report_.status = 2;
        report_.failure = "the plug-in library refused to create a plug-in object";
        return;
    }
    report_.warnings = LintConfiguration(map, text);
    // The schema's first complaint, unless a rejection or warning already speaks of that place.
    for (Warning& warning : SchemaWarnings(document)) {
        const std::string& at = warning.where.pointer;
        auto related = [&](const std::string& other) {
            const std::string& shorter = at.size() < other.size() ? at : other;
            const std::string& longer = at.size() < other.size() ? other : at;
            return longer.compare(0, shorter.size(), shorter) == 0 &&
                   (longer.size() == shorter.size() || longer[shorter.size()] == '/');
        };
        const bool covered =
            std::any_of(report_.rejections.begin(), report_.rejections.end(),
                        [&](const Rejection& r) { return related(r.where.pointer); }) ||
            std::any_of(report_.warnings.begin(), report_.warnings.end(),
                        [&](const Warning& w) { return related(w.where.pointer); });
        if (!covered) {
            report_.warnings.push_back(std::move(warning));
        }
    }
    Locate(map, text);
    report_.status = report_.rejections.empty() ? 0 : 1;
}

void Checker::Locate(const TextMap& map, std::string_view text) {
    std::vector<Location*> places;
    for (AcceptedMode& mode : report_.modes) {
        places.push_back(&mode.where);
    }
    for (AcceptedRule& rule : report_.rules) {
        places.push_back(&rule.where);
    }
    for (Rejection& rejection : report_.rejections) {
        places.push_back(&rejection.where);
    }
    for (Warning& warning : report_.warnings) {
        if (warning.where.position.line == 0) {
            places.push_back(&warning.where);
        }
    }
    std::unordered_set<std::string> wanted;
    for (const Location* place : places) {
        wanted.insert(place->pointer);
    }
    const auto offsets = ValueOffsets(text, wanted);
    for (Location* place : places) {
        if (auto found = offsets.find(place->pointer); found != offsets.end()) {
            place->position = map.PositionOf(found->second);
        }
    }
}

void Checker::CheckModes(const Value& matchmode) {
    std::vector<AcceptedMode> accepted;
    for (rapidjson::SizeType i = 0; i < matchmode.Size(); ++i) {
        const Value& element = matchmode[i];
        const std::string path = "/matchmode/" + std::to_string(i);
        std::optional<int64_t> insertedId;
        bool skipped = false;
        for (const PluginLine& line : Load(ElementProbe(element))) {
            if (IsParseLine(line, "Insert new modeid=")) {
                insertedId = NumberAfter(line.message, "=");
            } else if (IsParseLine(line, "modeid not find")) {
                Reject("mode", path, "modeid missing or not a 32-bit integer", {line.message});
                skipped = true;
            } else if (IsNotAnObjectLine(line) && StartsWith(line.message, "matchmode")) {
                // The plug-in's message counts elements of the small document, not of the file.
                Reject("mode", path, "not an object");
                skipped = true;
            }
        }
        if (skipped) {
            continue;  // the plug-in reads none of its items
        }
        const std::optional<int64_t> modeId =
            insertedId ? insertedId : IntMember(element, "modeid");
        std::vector<int64_t> items = CheckItems(element, path, modeId);
        if (insertedId) {
            std::stable_sort(items.begin(), items.end(), [](int64_t a, int64_t b) {
                return static_cast<uint32_t>(a) < static_cast<uint32_t>(b);
            });
            accepted.push_back({*insertedId, {path, {}}, std::move(items)});
            continue;
        }
        const Value* mode = Member(element, "mode");
        std::string reason = !mode || !mode->IsArray() ? "no mode array"
                             : mode->Empty()           ? "empty mode array"
                                                       : "no valid item";
        Rejection& r = Reject("mode", path, reason + "; the match mode is not created");
        r.modeId = modeId;
    }
    // The last definition of a mode id replaces the earlier ones whole.
    for (size_t i = 0; i < accepted.size(); ++i) {
        auto later = std::find_if(
            accepted.begin() + static_cast<std::ptrdiff_t>(i) + 1, accepted.end(),
            [&](const AcceptedMode& mode) { return mode.modeId == accepted[i].modeId; });
        if (later != accepted.end()) {
            Rejection& r = Reject("mode", accepted[i].where.pointer,
                                  "replaced by the later definition at " + later->where.pointer);
            r.modeId = accepted[i].modeId;
        } else {
            report_.modes.push_back(accepted[i]);
        }
    }
}

std::vector<int64_t> Checker::CheckItems(const Value& element, const std::string& elementPath,
                                         std::optional<int64_t> modeId) {
    std::vector<int64_t> accepted;
    const Value* mode = Member(element, "mode");
    if (!mode || !mode->IsArray()) {
        return accepted;
    }
    for (rapidjson::SizeType j = 0; j < mode->Size(); ++j) {
        const Value& item = (*mode)[j];
        const std::string path = elementPath + "/mode/" + std::to_string(j);
        bool levelNotes = false;
        std::optional<int64_t> itemId;
        for (const PluginLine& line : Load(ItemProbe(item))) {
            levelNotes |= line.tag == kLevelsTag;
            if (line.tag == kDumpTag) {
                itemId = NumberAfter(line.message, "modeIndex=");
                accepted.push_back(itemId.value_or(0));
            } else if (IsParseLine(line, "Invalid Item,id=")) {
                itemId = NumberAfter(line.message, "=");
                std::string reason = "no level list";
                const char* popwnd = StringMember(item, "popwnd");
                if (!popwnd || !*popwnd) {
                    reason = "popwnd missing or empty";
                } else if (std::any_of(std::begin(kLevelKeys), std::end(kLevelKeys),
                                       [&](const char* key) {
                                           const char* text = StringMember(item, key);
                                           return text && *text;
                                       })) {
                    reason = "every level list is empty once read";
                }
                Rejection& r = Reject("item", path, reason, {line.message});
                r.id = itemId;
                r.modeId = modeId;
            } else if (IsNotAnObjectLine(line)) {
                Rejection& r = Reject("item", path, "not an object");
                r.modeId = modeId;
            }
        }
        if (levelNotes) {
            CheckLevels(item, path, itemId, modeId);
        }
    }
    return accepted;
}

void Checker::CheckLevels(const Value& item, const std::string& itemPath,
                          std::optional<int64_t> itemId, std::optional<int64_t> modeId) {
    for (const char* key : kLevelKeys) {
        const char* text = StringMember(item, key);
        if (!text || !*text) {
            continue;
        }
        const std::string probe = LevelProbe(key, text);
        size_t dropped = 0;
        bool emptied = false;
        std::vector<std::string> messages;
        for (const PluginLine& line : Load(probe)) {
            if (line.tag != kLevelsTag) {
                continue;
            }
            messages.push_back(line.message);
            dropped += line.message == "sub_level_low>65535";
            emptied |= line.message == "config 0.0";
        }
        std::string reason;
        if (dropped > 0) {
            reason = std::to_string(dropped) + (dropped == 1 ? " entry" : " entries") +
                     " with a sub-level above 65535 dropped";
        }
        // 0.0 alone means "any level"; beside other entries it silently throws them away.
        if (emptied && EntryCount(text) > 1) {
            reason += std::string(reason.empty() ? "" : "; ") +
                      "a 0.0 entry empties the whole list, which then matches any level";
        }
        if (!reason.empty()) {
            Rejection& r = Reject("level", itemPath + "/" + key, reason, messages);
            r.id = itemId;
            r.modeId = modeId;
            r.key = key;
            r.text = text;
        }
    }
}

void Checker::CheckRules(const std::vector<PluginLine>& whole, const Value* rules) {
    auto start = std::find_if(whole.begin(), whole.end(), [](const PluginLine& line) {
        return IsParseLine(line, "parse rules config");
    });
    // Every element of "rules" ends in exactly one of these lines, in document order.
    std::vector<const PluginLine*> outcomes;
    for (auto it = start; it != whole.end(); ++it) {
        if (it->tag == kDumpTag || IsParseLine(*it, "not found Modeid=") ||
            (IsNotAnObjectLine(*it) && StartsWith(it->message, "rules"))) {
            outcomes.push_back(&*it);
        }
    }
    const bool located = outcomes.size() == rules->Size();
    for (size_t k = 0; k < outcomes.size(); ++k) {
        const PluginLine& line = *outcomes[k];
        const std::string path = located ? "/rules/" + std::to_string(k) : "";
        if (line.tag == kDumpTag) {
            AcceptedRule rule;
            rule.id = NumberAfter(line.message, "id=").value_or(0);
            rule.eventType = NumberAfter(line.message, " type=").value_or(0);
            rule.modeId = NumberAfter(line.message, "mode_id=").value_or(0);
            rule.reportType = NumberAfter(line.message, "report_type=").value_or(0);
            const size_t from = line.message.find("ruleid:");
            const size_t to = line.message.find('\r', from);
            if (from != std::string::npos) {
                std::string_view ids(line.message);
                ids = ids.substr(from, to == std::string::npos ? std::string::npos : to - from);
                // "|%d| " per rule id.
                for (size_t bar = ids.find('|'); bar != std::string_view::npos;) {
                    const size_t close = ids.find('|', bar + 1);
                    if (close == std::string_view::npos) {
                        break;
                    }
                    if (auto value = NumberAfter(ids.substr(bar, close - bar), "|")) {
                        rule.ruleIds.push_back(static_cast<uint32_t>(*value));
                    }
                    bar = ids.find('|', close + 1);
                }
            }
            rule.where.pointer = path;
            report_.rules.push_back(std::move(rule));
            continue;
        }
        std::optional<int64_t> id;
        if (located && (*rules)[static_cast<rapidjson::SizeType>(k)].IsObject()) {
            id = IntMember((*rules)[static_cast<rapidjson::SizeType>(k)], "id").value_or(0);
        }
        if (IsNotAnObjectLine(line)) {
            Rejection& r = Reject("rule", path, "not an object", {line.message});
            r.id = id;
            continue;
        }
        const std::optional<int64_t> modeId = NumberAfter(line.message, "=");
        Rejection& r = Reject(
            "rule", path, "no match mode " + std::to_string(modeId.value_or(0)) + " is configured",
            {line.message});
        r.id = id;
        r.modeId = modeId;
    }
}

}  // namespace

FileReport CheckConfiguration(PluginSession& session, const std::string& file, uint64_t maxSize) {
    FileReport report;
    report.file = file;
    std::string bytes, error;
    if (!ReadInput(file, maxSize, &bytes, &error)) {
        report.status = 2;
        report.failure = "cannot read the file: " + error;
        return report;
    }
    Checker(session, report).Check(bytes);
    return report;
}

}  // namespace tierlock_host
