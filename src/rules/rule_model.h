// The rule model: match modes keyed by mode id and the rules that name them.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tierlock {

// Compared as signed numbers; level 0 matches any level, 65535 as high bound any sub-level.
struct LevelRange {
    int32_t level = 0;
    int32_t sub_level_low = 0;
    int32_t sub_level_high = 65535;

    bool Fits(int32_t pairLevel, int32_t pairSubLevel) const {
        return (level == 0 || level == pairLevel) && sub_level_low <= pairSubLevel &&
               pairSubLevel <= sub_level_high;
    }
    bool operator==(const LevelRange&) const = default;
};

using LevelRangeList = std::vector<LevelRange>;

// An empty list passes; otherwise one fitting range is enough.
inline bool ListFits(const LevelRangeList& list, int32_t level, int32_t subLevel) {
    if (list.empty()) {
        return true;
    }
    for (const LevelRange& range : list) {
        if (range.Fits(level, subLevel)) {
            return true;
        }
    }
    return false;
}

struct MatchModeItem {
    uint32_t id = 0;
    LevelRangeList src_level;
    LevelRangeList dst_level;
    LevelRangeList parent_process_level;
    LevelRangeList process_chain_level;
    std::string popwnd;
};

struct MatchRule {
    uint32_t id = 0;
    uint32_t type = 0;
    uint32_t report_type = 0;
    std::set<uint32_t> ruleid;
    uint32_t mode_id = 0;
};

// Each list is non-empty and sorted by item id.
using MatchNodes = std::map<uint32_t, std::vector<MatchModeItem>>;
// Sorted by rule id.
using MatchRules = std::vector<MatchRule>;

}  // namespace tierlock
