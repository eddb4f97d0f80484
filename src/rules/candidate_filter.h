// Which (event class, host rule id) pairs the configuration in force may have rules for, as a
// bitmap the plug-in object holds itself. Most events fall under no rule; the bitmap turns them
// away without a reference to the shared configuration, whose count every event thread would
// otherwise write. A set bit may stand for pairs without rules as well (such an event takes the
// ordinary way and finds no candidate there); a clear bit is never wrong for the configuration
// in force.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "rules/rule_set.h"

namespace tierlock {

class CandidateFilter {
  public:
    // False only when the configuration in force has no rule for the pair.
    bool MayHaveCandidates(uint32_t eventClass, uint32_t ruleId) const noexcept {
        const size_t bit = BitOf(RuleSet::CandidateKey(eventClass, ruleId));
        return (m_words[bit / 64].load(std::memory_order_acquire) >> (bit % 64)) & 1u;
    }

    // Around the publication of a new configuration: Widen before it, so that events meanwhile
    // pass the pairs of both, and Narrow after it, to the new one's pairs alone. Only one
    // thread changes the configuration at a time.
    void Widen(const RuleSet& next) noexcept;
    void Narrow(const RuleSet& current) noexcept;

  private:
    static constexpr size_t kBits = size_t{1} << 16;
    using Words = std::array<uint64_t, kBits / 64>;

    static size_t BitOf(uint64_t key) noexcept {
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 48);
    }
    static void Collect(const RuleSet& ruleSet, Words& words) noexcept;

    std::array<std::atomic<uint64_t>, kBits / 64> m_words{};
};

}  // namespace tierlock
