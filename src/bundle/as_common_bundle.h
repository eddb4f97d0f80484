// The plug-in's typed bundle: values under narrow keys compared byte by byte, each bundle
// guarded by its own mutex so that several host threads may share one.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "abi/bundle.h"
#include "bundle/object_frame.h"
#include "bundle/value_block.h"

namespace tierlock {

class ASCommonBundle final : public IASBundle, public Base::CNUVObjectImpl<ASCommonBundle> {
  public:
    ASCommonBundle() noexcept = default;
    ~ASCommonBundle() = default;

    uint32_t RK_CALL AddRef() override;
    uint32_t RK_CALL Release() override;
    int32_t RK_CALL QueryInterface(const RkGuid* iid, void** out) override;

    int32_t RK_CALL Clear() override;
    int32_t RK_CALL CopyTo(IASBundle* destination) override;
    int32_t RK_CALL PutInt(const char* key, uint32_t value) override;
    int32_t RK_CALL PutInt64(const char* key, uint32_t low, uint32_t high) override;
    int32_t RK_CALL PutString(const char* key, const char* value) override;
    int32_t RK_CALL PutWString(const char* key, const char16_t* value) override;
    int32_t RK_CALL PutBinary(const char* key, const void* data, int32_t size) override;
    int32_t RK_CALL GetInt(const char* key, uint32_t* value) override;
    int32_t RK_CALL GetInt64(const char* key, uint64_t* value) override;
    int32_t RK_CALL GetBinary(const char* key, void* buffer, int32_t* size) override;
    int32_t RK_CALL GetString(const char* key, char* buffer, uint32_t* size) override;
    int32_t RK_CALL GetWString(const char* key, char16_t* buffer, uint32_t* size) override;
    int32_t RK_CALL GetCount(uint32_t* count) override;
    int32_t RK_CALL GetKeys(char* buffer, uint32_t* size) override;
    int32_t RK_CALL GetType(const char* key, uint32_t* type) override;
    void* RK_DTOR_CALL ScalarDeletingDestructor(uint32_t flags) override;

  private:
    struct Entry {
        std::string key;
        uint32_t type;
        ValueBlock block;
    };
    // Sorted by key in one array: a bundle's few keys cost one allocation, not one each.
    using Entries = std::vector<Entry>;

    Entries::iterator LowerBound(std::string_view key);
    const Entry* Find(std::string_view key) const;
    int32_t Put(const char* key, uint32_t type, const void* data, size_t size);
    int32_t GetFixed(const char* key, uint32_t type, void* value, uint32_t size);
    template <class Size>
    int32_t GetSized(const char* key, uint32_t type, void* buffer, Size* size);

    std::mutex m_mutex;
    Entries m_entries;
};

}  // namespace tierlock
