// Host services that Init collects: the process-information cache, the cloud engine and both
// versions of the trust (anti-false-positive) query. Each counts references and records calls.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/host.h"
#include "simhost/counted.h"

namespace simhost {

class CacheService final : public Counted<IRKCache> {
  public:
    bool RK_CALL QueryFileInfo(IASBundle* bundle) override;
    size_t calls() const { return calls_.load(); }

  private:
    std::atomic<size_t> calls_{0};
};

class CloudEngine final : public Counted<IRKEngCloudV2> {
  public:
    bool RK_CALL QueryItemList(IRKScanItem** items, IASBundle* params) override;
    size_t calls() const { return calls_.load(); }

  private:
    std::atomic<size_t> calls_{0};
};

class TrustQueryV1 final : public Counted<IRKMisKillingQuery> {
  public:
    bool RK_CALL IsCanSkipReport(const char16_t* path, int32_t subLevel, int32_t reserved,
                                 uint8_t* skip, uint32_t* matchType) override;
    std::vector<std::u16string> paths() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::u16string> paths_;
};

class TrustQueryV2 final : public Counted<IRKMisKillingQuery_V2> {
  public:
    bool RK_CALL IsCanSkipReport(const char16_t* path, IASBundle* params, uint8_t* skip,
                                 uint32_t* matchType) override;
    std::vector<std::u16string> paths() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::u16string> paths_;
};

}  // namespace simhost
