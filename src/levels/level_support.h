// The levels that decide whether a trust question is worth asking.
#pragma once

#include <cstdint>

namespace tierlock {

// The level a trust correction lifts a file to; such a file needs no question.
inline constexpr int32_t kTrustedLevel = 10;
// The level of files the host already knows to be bad.
inline constexpr int32_t kBlackLevel = 70;
// A sub-level the host has settled.
inline constexpr int32_t kSettledSubLevel = 3;

// A level pair the host has settled needs no question about its signer.
constexpr bool LevelIsSettled(int32_t level, int32_t subLevel) {
    return level == kBlackLevel || level == kTrustedLevel || subLevel == kSettledSubLevel;
}

}  // namespace tierlock
