// Host objects count every reference the plug-in takes and drops. They are owned by the test,
// never destroyed by a release, so a test can assert at the end that the count is back where
// it started and that nothing was released more often than it was taken.
#pragma once

#include <atomic>
#include <cstdint>

#include "abi/host.h"

namespace simhost {

template <class Interface>
class Counted : public Interface {
  public:
    uint32_t RK_CALL AddRef() override {
        adds_.fetch_add(1);
        return refs_.fetch_add(1) + 1;
    }
    uint32_t RK_CALL Release() override {
        releases_.fetch_add(1);
        uint32_t current = refs_.load();
        while (current != 0) {
            if (refs_.compare_exchange_weak(current, current - 1)) {
                return current - 1;
            }
        }
        underflows_.fetch_add(1);
        return 0;
    }
    int32_t RK_CALL QueryInterface(const RkGuid*, void** out) override {
        if (out) {
            *out = nullptr;
        }
        return RK_E_NOINTERFACE;
    }

    // References the plug-in holds right now.
    uint32_t refs() const { return refs_.load(); }
    uint32_t adds() const { return adds_.load(); }
    uint32_t releases() const { return releases_.load(); }
    // Releases with no reference left to drop: always a fault of the plug-in.
    uint32_t underflows() const { return underflows_.load(); }

  protected:
    ~Counted() = default;

  private:
    std::atomic<uint32_t> refs_{0};
    std::atomic<uint32_t> adds_{0};
    std::atomic<uint32_t> releases_{0};
    std::atomic<uint32_t> underflows_{0};
};

// Whether a host object keeps a record of the calls it answers. A benchmark turns recording
// off once every answer is set: calls are then answered from the settled tables without the
// object's lock and write nothing shared, so that threads calling at once meet only the
// plug-in's own sharing. Answers must not change while recording is off.
class Recording {
  public:
    void Record(bool on) { recording_.store(on); }
    bool recording() const { return recording_.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> recording_{true};
};

}  // namespace simhost
