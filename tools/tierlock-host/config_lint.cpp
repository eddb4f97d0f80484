#include "config_lint.h"

#include <algorithm>
#include <cctype>

#include <rapidjson/schema.h>
#include <rapidjson/stringbuffer.h>

#include "config_schema.h"

namespace tierlock_host {

uint32_t ReadNumber(std::string_view piece) {
    size_t i = 0;
    while (i < piece.size() && std::isspace(static_cast<unsigned char>(piece[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) {
        negative = piece[i++] == '-';
    }
    uint64_t value = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(piece[i] - '0');
        if (value > 0xFFFFFFFFu) {
            return 0xFFFFFFFFu;
        }
    }
    const auto read = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0u - read) : read;
}

namespace {

using Kind = JsonValueSeen::Kind;

enum class Context { Other, Root, Element, Item, Rule };

// The kind of object a pointer names: "", "/matchmode/N", "/matchmode/N/mode/M", "/rules/N".
Context ContextOf(std::string_view pointer) {
    auto number = [](std::string_view& rest) {
        size_t n = 0;
        while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') {
            ++n;
        }
        rest.remove_prefix(n);
        return n > 0;
    };
    if (pointer.empty()) {
        return Context::Root;
    }
    std::string_view rest = pointer;
    if (rest.substr(0, 7) == "/rules/") {
        rest.remove_prefix(7);
        return number(rest) && rest.empty() ? Context::Rule : Context::Other;
    }
    if (rest.substr(0, 11) != "/matchmode/") {
        return Context::Other;
    }
    rest.remove_prefix(11);
    if (!number(rest)) {
        return Context::Other;
    }
    if (rest.empty()) {
        return Context::Element;
    }
    if (rest.substr(0, 6) != "/mode/") {
        return Context::Other;
    }
    rest.remove_prefix(6);
    return number(rest) && rest.empty() ? Context::Item : Context::Other;
}

struct KeyRule {
    const char* key;
    Kind kind;  // Integer or String; Other: not checked here (the plug-in's verdict covers it)
    const char* effect;
};

const KeyRule kRootKeys[] = {{"enable", Kind::Integer, "the plug-in keeps its switch as it was"},
                             {"matchmode", Kind::Null, nullptr},
                             {"rules", Kind::Null, nullptr},
                             {"$schema", Kind::Null, nullptr}};
const KeyRule kElementKeys[] = {{"modeid", Kind::Null, nullptr}, {"mode", Kind::Null, nullptr}};
const KeyRule kItemKeys[] = {{"id", Kind::Integer, "the plug-in reads 0"},
                             {"srclvl", Kind::String, "the plug-in reads an empty list"},
                             {"dstlvl", Kind::String, "the plug-in reads an empty list"},
                             {"plvl", Kind::String, "the plug-in reads an empty list"},
                             {"chainlvl", Kind::String, "the plug-in reads an empty list"},
                             {"popwnd", Kind::Null, nullptr}};
const KeyRule kRuleKeys[] = {
    {"id", Kind::Integer, "the plug-in reads 0"},
    {"eventtype", Kind::Integer, "the plug-in reads 0, and the rule never fires"},
    {"reporttype", Kind::Integer, "the plug-in reads 0"},
    {"ruleid", Kind::String, "the plug-in reads an empty set, and the rule never fires"},
    {"modeid", Kind::Integer, "the plug-in reads 0"}};

template <size_t N>
std::vector<KeyRule> List(const KeyRule (&rules)[N]) {
    return std::vector<KeyRule>(rules, rules + N);
}

std::vector<KeyRule> KeysOf(Context context) {
    switch (context) {
        case Context::Root:
            return List(kRootKeys);
        case Context::Element:
            return List(kElementKeys);
        case Context::Item:
            return List(kItemKeys);
        case Context::Rule:
            return List(kRuleKeys);
        default:
            return {};
    }
}

size_t Distance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Null:
            return "null";
        case Kind::Bool:
            return "a boolean";
        case Kind::Integer:
            return "an integer";
        case Kind::Unsigned:
        case Kind::BigInteger:
            return "an integer beyond 32 bits";
        case Kind::Double:
            return "a number with a fraction or exponent";
        case Kind::String:
            return "a string";
        case Kind::Object:
            return "an object";
        case Kind::Array:
            return "an array";
    }
    return "";
}

// Offset of the first byte that is not well-formed UTF-8, or npos.
size_t InvalidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || (length == 2 && c < 0xC2) || i + length > text.size()) {
            return i;
        }
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return i;
            }
            code = code << 6 | (next & 0x3F);
        }
        if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
            return i;
        }
        i += length;
    }
    return std::string_view::npos;
}

std::vector<std::string_view> Split(std::string_view text, char delimiter) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

// Decimal digits, with blanks around them at most, and within limit.
bool LooksLikeNumber(std::string_view piece, uint64_t limit) {
    size_t i = 0;
    while (i < piece.size() && piece[i] == ' ') {
        ++i;
    }
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i, ++digits) {
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(piece[i] - '0'), limit + 1);
    }
    while (i < piece.size() && piece[i] == ' ') {
        ++i;
    }
    return digits > 0 && i == piece.size() && value <= limit;
}

// "70" or "70.3" as the plug-in reads a level entry; empty when it reads the entry as written.
std::string LevelReading(std::string_view entry) {
    const std::vector<std::string_view> pieces = Split(entry, '.');
    const bool plain = entry.find_first_not_of("0123456789.") == std::string_view::npos &&
                       pieces.size() >= 1 && pieces.size() <= 2 && entry.front() != '.' &&
                       entry.back() != '.' && entry.find("..") == std::string_view::npos;
    const bool inRange = plain && LooksLikeNumber(pieces[0], 0x7FFFFFFF) &&
                         (pieces.size() < 2 || LooksLikeNumber(pieces[1], 0xFFFFFFFF));
    if (inRange) {
        return "";
    }
    // Levels and sub-levels are compared as signed 32-bit numbers.
    const auto level = static_cast<int32_t>(pieces.empty() ? 0 : ReadNumber(pieces[0]));
    const auto sub = static_cast<int32_t>(pieces.size() < 2 ? 0 : ReadNumber(pieces[1]));
    std::string reading = "level " + std::to_string(level) +
                          (sub == 0 ? ", every sub-level" : ", sub-level " + std::to_string(sub));
    if (pieces.size() > 2) {
        reading += " (what follows the second dot is ignored)";
    }
    return reading;
}

class Linter : public JsonVisitor {
  public:
    Linter(const TextMap& map, std::vector<Warning>& warnings) : map_(map), warnings_(warnings) {}

    void Key(const std::string& object, std::string_view key, size_t offset) override {
        const Context context = ContextOf(object);
        if (context == Context::Other || repeatedKey_) {
            return;
        }
        CheckText(object + PointerToken(key), key, offset, "key");
        const std::vector<KeyRule> keys = KeysOf(context);
        if (std::any_of(keys.begin(), keys.end(), [&](const KeyRule& r) { return key == r.key; })) {
            return;
        }
        std::string message = "unknown key \"" + std::string(key) + "\", which the plug-in ignores";
        const KeyRule* nearest = nullptr;
        size_t best = 3;
        for (const KeyRule& rule : keys) {
            const size_t distance = Distance(key, rule.key);
            if (distance < best) {
                best = distance;
                nearest = &rule;
            }
        }
        if (nearest) {
            message += "; did you mean \"" + std::string(nearest->key) + "\"?";
        }
        Add("key", object + PointerToken(key), offset, message);
    }

    void RepeatedKey(const std::string& object, std::string_view key, size_t offset) override {
        Add("key", object + PointerToken(key), offset,
            "key \"" + std::string(key) +
                "\" appears again in the same object; the plug-in reads only the first one");
    }

    void Value(const JsonValueSeen& value) override {
        if (value.repeated) {
            return;
        }
        if (value.kind == Kind::String) {
            CheckText(value.pointer, value.text, value.offset, "string");
        }
        const size_t slash = value.pointer.rfind('/');
        if (slash == std::string::npos) {
            return;
        }
        const std::string_view parent = std::string_view(value.pointer).substr(0, slash);
        const std::string_view key = std::string_view(value.pointer).substr(slash + 1);
        for (const KeyRule& rule : KeysOf(ContextOf(parent))) {
            if (key != rule.key || rule.kind == Kind::Null) {
                continue;
            }
            if (value.kind != rule.kind) {
                Add("type", value.pointer, value.offset,
                    "\"" + std::string(key) + "\" is " + KindName(value.kind) + ", not " +
                        KindName(rule.kind) + "; " + rule.effect);
            } else if (rule.kind == Kind::String && key == "ruleid") {
                RuleIds(value);
            } else if (rule.kind == Kind::String) {
                Levels(value, key);
            }
        }
    }

  private:
    void Add(const char* kind, const std::string& pointer, size_t offset, std::string message) {
        warnings_.push_back({kind, {pointer, map_.PositionOf(offset)}, std::move(message)});
    }

    void CheckText(const std::string& pointer, std::string_view text, size_t offset,
                   const char* what) {
        if (InvalidUtf8(text) != std::string_view::npos) {
            Add("encoding", pointer, offset,
                std::string("the ") + what +
                    " holds bytes that are not UTF-8; the plug-in turns them into replacement "
                    "characters");
        }
    }

    void Levels(const JsonValueSeen& value, std::string_view key) {
        for (std::string_view entry : Split(value.text, ',')) {
            const std::string reading = LevelReading(entry);
            if (!reading.empty()) {
                Add("level", value.pointer, value.offset,
                    std::string(key) + " entry \"" + std::string(entry) +
                        "\" is not LEVEL or LEVEL.SUBLEVEL in decimal within 32 bits; the "
                        "plug-in reads it as " +
                        reading);
            }
        }
    }

    void RuleIds(const JsonValueSeen& value) {
        for (std::string_view piece : Split(value.text, ',')) {
            if (!LooksLikeNumber(piece, 0xFFFFFFFF)) {
                Add("ruleid", value.pointer, value.offset,
                    "rule id \"" + std::string(piece) +
                        "\" is not a decimal number within 32 bits; the plug-in reads it as " +
                        std::to_string(ReadNumber(piece)));
            }
        }
    }

    const TextMap& map_;
    std::vector<Warning>& warnings_;
    bool repeatedKey_ = false;
};

}  // namespace

std::vector<Warning> LintConfiguration(const TextMap& map, std::string_view text) {
    std::vector<Warning> warnings;
    Linter linter(map, warnings);
    WalkJson(text, linter);
    const std::string_view json = map.json();
    if (const size_t zero = json.find('\0'); zero != std::string_view::npos) {
        warnings.push_back({"encoding",
                            {"", map.PositionOf(zero)},
                            "a zero byte ends the text the plug-in reads; the " +
                                std::to_string(json.size() - zero - 1) +
                                " bytes after it are ignored"});
    }
    return warnings;
}

std::vector<Warning> SchemaWarnings(const rapidjson::Document& document) {
    static const rapidjson::Document* const schemaDocument = [] {
        auto* parsed = new rapidjson::Document;
        parsed->Parse(kConfigurationSchema);
        return parsed;
    }();
    const rapidjson::SchemaDocument schema(*schemaDocument);
    rapidjson::SchemaValidator validator(schema);
    if (document.Accept(validator)) {
        return {};
    }
    rapidjson::StringBuffer where, rule;
    validator.GetInvalidDocumentPointer().Stringify(where);
    validator.GetInvalidSchemaPointer().StringifyUriFragment(rule);
    return {{"schema",
             {where.GetString(), {}},
             std::string("does not satisfy the configuration schema's \"") +
                 validator.GetInvalidSchemaKeyword() + "\" at " + rule.GetString()}};
}

}  // namespace tierlock_host
