// The plug-in's key/value bundle: tagged byte blocks under wide keys that are stored lowered
// (ASCII letters only) and compared code unit by code unit, guarded by the bundle's own mutex.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "abi/bundle.h"
#include "bundle/object_frame.h"
#include "bundle/value_block.h"

namespace tierlock {

class CBundleImpl final : public Base::CNUVObjectImpl<CBundleImpl>, public IRkBundle {
  public:
    CBundleImpl() noexcept = default;
    ~CBundleImpl() = default;

    uint32_t RK_CALL AddRef() override;
    uint32_t RK_CALL Release() override;
    int32_t RK_CALL QueryInterface(const RkGuid* iid, void** out) override;

    int32_t RK_CALL GetValue(const char16_t* key, void* buffer, int32_t* size,
                             uint32_t* tag) override;
    int32_t RK_CALL SetValue(const char16_t* key, const void* data, int32_t size,
                             uint32_t tag) override;
    int32_t RK_CALL GetNames(char16_t* buffer, int32_t* size) override;

  private:
    struct Record {
        std::u16string key;  // lowered
        uint32_t tag;
        ValueBlock block;
    };
    // Sorted by key in one array: a request's few keys cost one allocation, not one each.
    using Records = std::vector<Record>;

    // The first record whose key is not below `key` once `key` is lowered; no lowered copy is
    // made for a lookup.
    Records::iterator LowerBound(std::u16string_view key);
    static bool Matches(const Record& record, std::u16string_view key) noexcept;

    // Orders a stored (lowered) key against a caller's key lowered on the fly.
    static int CompareFolded(std::u16string_view stored, std::u16string_view key) noexcept;

    std::mutex m_mutex;
    Records m_records;
};

}  // namespace tierlock
