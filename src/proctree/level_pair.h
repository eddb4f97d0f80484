// Which level pair of a process is in force. The host keeps an ordinary pair ("LEVEL",
// "SUB_LEVEL") and a fixed pair ("FIX_LEVEL", "FIX_SUB_LEVEL") whose expiry is "FLVL_TTL", in
// seconds since 1970-01-01 UTC. The process tree and the process-information cache both answer
// by this one rule.
#pragma once

#include <cstdint>

namespace tierlock {

inline constexpr char kFixLevelTtl[] = "FLVL_TTL";
// An expiry with all bits set: the fixed pair never expires.
inline constexpr uint64_t kNeverExpires = ~uint64_t{0};

struct LevelPairNames {
    const char* level;
    const char* subLevel;
};

// The fixed pair is in force until its expiry has passed.
constexpr bool FixedPairInForce(uint64_t ttl, uint64_t now) {
    return ttl == kNeverExpires || ttl >= now;
}

constexpr LevelPairNames LevelPairInForce(bool fixedInForce) {
    return fixedInForce ? LevelPairNames{"FIX_LEVEL", "FIX_SUB_LEVEL"}
                        : LevelPairNames{"LEVEL", "SUB_LEVEL"};
}

}  // namespace tierlock
