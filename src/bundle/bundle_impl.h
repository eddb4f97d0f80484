// The plug-in's key/value bundle: tagged byte blocks under wide keys that are stored lowered
// (ASCII letters only) and compared code unit by code unit, guarded by the bundle's own mutex.
#pragma once

#include <mutex>

#include "abi/bundle.h"
#include "bundle/object_frame.h"
#include "bundle/value_store.h"
#include "platform/text.h"

namespace tierlock {

class CBundleImpl final : public Base::SmartUnknownImpl<CBundleImpl, IRkBundle, IID_IRkBundle> {
  public:
    CBundleImpl() noexcept = default;
    ~CBundleImpl() = default;

    int32_t RK_CALL GetValue(const char16_t* key, void* buffer, int32_t* size,
                             uint32_t* tag) override;
    int32_t RK_CALL SetValue(const char16_t* key, const void* data, int32_t size,
                             uint32_t tag) override;
    int32_t RK_CALL GetNames(char16_t* buffer, int32_t* size) override;

  private:
    struct LoweredKeys {
        char16_t operator()(char16_t c) const noexcept { return platform::LowerAscii(c); }
    };
    // The record's kind is its tag; a whole pop-up request fits the first array.
    using Store = SortedValueStore<char16_t, LoweredKeys, 16>;

    std::mutex m_mutex;
    Store m_records;
};

}  // namespace tierlock
