#include "plugin/rule_set_holder.h"

#include <algorithm>

namespace tierlock {
namespace {

// The slot each thread tries first, 1-based so that 0 means not chosen yet; a plain number
// needs no constructor or destructor on threads the host owns.
thread_local size_t t_firstSlot = 0;
std::atomic<size_t> g_threadsSeen{0};

size_t FirstSlot() {
    if (t_firstSlot == 0) {
        t_firstSlot = g_threadsSeen.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    return t_firstSlot - 1;
}

}  // namespace

RuleSetHolder::Pin::~Pin() {
    if (slot_) {
        slot_->store(nullptr, std::memory_order_release);
    } else if (overflow_) {
        overflow_->fetch_sub(1, std::memory_order_release);
    }
}

RuleSetHolder::RuleSetHolder() : owner_(RuleSet::WithoutRules(nullptr)) {
    current_.store(owner_.get());
}

// Every access below is sequentially consistent: a reader's claim of its slot comes before its
// second look at current_, Publish's swap before its look at the slots, so either the reader
// sees the new set or Publish sees the reader's slot.
RuleSetHolder::Pin RuleSetHolder::Read() const {
    const size_t first = FirstSlot();
    const RuleSet* set = current_.load();
    for (size_t probe = 0; probe < kSlots; ++probe) {
        std::atomic<const RuleSet*>& slot = slots_[(first + probe) % kSlots].set;
        const RuleSet* free = nullptr;
        if (!slot.compare_exchange_strong(free, set)) {
            continue;
        }
        for (const RuleSet* now = current_.load(); now != set; now = current_.load()) {
            set = now;
            slot.store(set);
        }
        return Pin(&slot, nullptr, set);
    }
    overflow_.fetch_add(1);
    return Pin(nullptr, &overflow_, current_.load());
}

void RuleSetHolder::Publish(std::shared_ptr<const RuleSet> next) {
    std::lock_guard lock(writeMutex_);
    current_.store(next.get());
    retired_.push_back(std::move(owner_));
    owner_ = std::move(next);
    ReclaimLocked();
}

void RuleSetHolder::Reclaim() {
    std::lock_guard lock(writeMutex_);
    ReclaimLocked();
}

void RuleSetHolder::ReclaimLocked() {
    if (overflow_.load() != 0) {
        return;  // such a reader may hold any of them
    }
    const RuleSet* held[kSlots];
    for (size_t i = 0; i < kSlots; ++i) {
        held[i] = slots_[i].set.load();
    }
    std::erase_if(retired_, [&](const std::shared_ptr<const RuleSet>& set) {
        return std::find(std::begin(held), std::end(held), set.get()) == std::end(held);
    });
}

}  // namespace tierlock
