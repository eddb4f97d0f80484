#include "rules/candidate_filter.h"

namespace tierlock {

void CandidateFilter::Collect(const RuleSet& ruleSet, Words& words) noexcept {
    words.fill(0);
    ruleSet.ForEachCandidateKey([&](uint64_t key) {
        const size_t bit = BitOf(key);
        words[bit / 64] |= uint64_t{1} << (bit % 64);
    });
}

void CandidateFilter::Widen(const RuleSet& next) noexcept {
    Words words;  // 8 KB: small beside the host thread's stack
    Collect(next, words);
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] != 0) {
            m_words[i].fetch_or(words[i], std::memory_order_release);
        }
    }
}

void CandidateFilter::Narrow(const RuleSet& current) noexcept {
    Words words;
    Collect(current, words);
    // Each word goes from the union straight to the current pairs, which it holds either way.
    for (size_t i = 0; i < words.size(); ++i) {
        m_words[i].store(words[i], std::memory_order_release);
    }
}

}  // namespace tierlock
