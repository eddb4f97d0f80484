#include "log/log.h"
#include "rules/rules.h"

namespace tierlock {

void SplitString(std::string_view text, std::string_view delimiters,
                 std::vector<std::string>& pieces) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(delimiters, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
}

uint32_t ReadUnsignedDecimal(std::string_view text) {
    size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;  // keep consuming digits without growing
        }
    }
    if (overflow) {
        return 0xFFFFFFFFu;
    }
    // A minus sign negates in the unsigned result, as strtoul does.
    return negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(value))
                    : static_cast<uint32_t>(value);
}

bool SplitString2Levels(std::string_view text, LevelRangeList& ranges) {
    std::vector<std::string> entries;
    SplitString(text, ",", entries);
    for (const std::string& entry : entries) {
        LevelRange range;
        std::vector<std::string> pieces;
        SplitString(entry, ".", pieces);
        if (!pieces.empty()) {
            range.level = static_cast<int32_t>(ReadUnsignedDecimal(pieces[0]));
        }
        if (pieces.size() >= 2) {
            const int32_t sub = static_cast<int32_t>(ReadUnsignedDecimal(pieces[1]));
            if (sub > 65535) {
                Log(LogLevel::Info, "Tierlock::SplitString2Levels", u"sub_level_low>65535");
                continue;
            }
            range.sub_level_low = sub;
            range.sub_level_high = sub == 0 ? 65535 : sub;
        }
        if (range.level == 0 && range.sub_level_low == 0 && range.sub_level_high == 65535) {
            // 0.0 means "any level": the whole list is dropped, and nothing after it is read.
            Log(LogLevel::Info, "Tierlock::SplitString2Levels", u"config 0.0");
            ranges.clear();
            return true;
        }
        ranges.push_back(range);
    }
    return true;
}

void SplitRuleIds(std::string_view text, std::set<uint32_t>& ids) {
    std::vector<std::string> pieces;
    SplitString(text, ",", pieces);
    for (const std::string& piece : pieces) {
        ids.insert(ReadUnsignedDecimal(piece));
    }
}

}  // namespace tierlock
