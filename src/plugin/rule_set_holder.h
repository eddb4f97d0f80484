// The configuration in force, read by every event without a lock and without a shared count.
//
// A reader announces the set it is about to use in a slot of its own and checks that the set is
// still the one in force; Publish swaps in a new set and frees a replaced one only once no slot
// names it. Each thread starts its search at a slot of its own, so readers on different threads
// write different cache lines. When every slot is taken, a reader counts itself in a shared
// overflow count instead, and while any such reader runs no replaced set is freed.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "rules/rule_set.h"

namespace tierlock {

class RuleSetHolder {
  public:
    // A set the holder keeps alive as long as this reads it.
    class Pin {
      public:
        Pin(Pin&& other) noexcept
            : slot_(other.slot_), overflow_(other.overflow_), set_(other.set_) {
            other.slot_ = nullptr;
            other.overflow_ = nullptr;
        }
        Pin(const Pin&) = delete;
        Pin& operator=(const Pin&) = delete;
        Pin& operator=(Pin&&) = delete;
        ~Pin();

        const RuleSet& operator*() const { return *set_; }
        const RuleSet* operator->() const { return set_; }

      private:
        friend class RuleSetHolder;
        Pin(std::atomic<const RuleSet*>* slot, std::atomic<size_t>* overflow, const RuleSet* set)
            : slot_(slot), overflow_(overflow), set_(set) {}
        // The slot that names set_, or the overflow count this reader is in; both null once
        // moved from.
        std::atomic<const RuleSet*>* slot_;
        std::atomic<size_t>* overflow_;
        const RuleSet* set_;
    };

    // Starts with an empty set.
    RuleSetHolder();
    // No event may still run.
    ~RuleSetHolder() = default;
    RuleSetHolder(const RuleSetHolder&) = delete;
    RuleSetHolder& operator=(const RuleSetHolder&) = delete;

    // The set in force; never null.
    Pin Read() const;
    // Makes next the set in force; frees every replaced set no reader holds any more.
    void Publish(std::shared_ptr<const RuleSet> next);
    // Frees what Publish had to leave to a reader that has finished since.
    void Reclaim();

  private:
    static constexpr size_t kSlots = 64;
    struct alignas(64) Slot {
        std::atomic<const RuleSet*> set{nullptr};
    };
    void ReclaimLocked();

    std::atomic<const RuleSet*> current_;
    mutable Slot slots_[kSlots];
    mutable std::atomic<size_t> overflow_{0};
    // Only Publish and Reclaim touch these: the owners of the set in force and of those replaced.
    std::mutex writeMutex_;
    std::shared_ptr<const RuleSet> owner_;
    std::vector<std::shared_ptr<const RuleSet>> retired_;
};

}  // namespace tierlock
