// Host-made property objects: the typed bundle a host hangs on an event's target and record
// (where the plug-in finds the process-information cache and the acting process's creation
// time), and the scan item inside each host item record. Both count references like every
// host object and are owned by their creator, never destroyed by a release.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "abi/bundle.h"
#include "simhost/counted.h"

namespace simhost {

class HostBundle final : public IASBundle {
  public:
    HostBundle() = default;
    ~HostBundle() = default;
    HostBundle(const HostBundle&) = delete;
    HostBundle& operator=(const HostBundle&) = delete;

    uint32_t refs() const { return counter_.refs(); }
    uint32_t underflows() const { return counter_.underflows(); }

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
    // The host owns the object: the entry only reports it, it never frees.
    void* RK_DTOR_CALL ScalarDeletingDestructor(uint32_t) override { return this; }

    uint32_t RK_CALL AddRef() override { return counter_.AddRef(); }
    uint32_t RK_CALL Release() override { return counter_.Release(); }
    int32_t RK_CALL QueryInterface(const RkGuid* iid, void** out) override;

  private:
    struct Value {
        uint32_t type;
        std::vector<uint8_t> bytes;
    };
    class Counter final : public Counted<ISmartUnknown> {
      public:
        ~Counter() = default;
    };

    int32_t Put(const char* key, uint32_t type, const void* data, size_t size);
    // Copies a value of the given type out with the two-call size protocol.
    int32_t Read(const char* key, uint32_t type, void* buffer, uint32_t* size);

    Counter counter_;
    mutable std::mutex mutex_;
    std::map<std::string, Value> values_;
};

class HostScanItem final : public Counted<IRKScanItem> {
  public:
    HostScanItem() = default;
    ~HostScanItem() = default;
    HostScanItem(const HostScanItem&) = delete;
    HostScanItem& operator=(const HostScanItem&) = delete;

    void* RK_DTOR_CALL ScalarDeletingDestructor(uint32_t) override { return this; }
    bool RK_CALL SetValue1(uint32_t value) override { return Set(value1_, value); }
    uint32_t RK_CALL GetValue1() override { return value1_; }
    bool RK_CALL SetPath(const char16_t* path) override;
    const char16_t* RK_CALL GetPath() override { return path_ ? path_->c_str() : nullptr; }
    bool RK_CALL SetAttachedObject(ISmartUnknown*) override { return false; }
    ISmartUnknown* RK_CALL GetAttachedObject() override { return nullptr; }
    bool RK_CALL SetMd5(const uint8_t* digest, uint32_t length) override;
    bool RK_CALL GetMd5(uint8_t* buffer, uint32_t length) override;
    bool RK_CALL SetSha1(const uint8_t* digest, uint32_t length) override;
    bool RK_CALL GetSha1(uint8_t* buffer, uint32_t length) override;
    bool RK_CALL SetText1(const char* text) override { return SetText(text1_, text); }
    const char* RK_CALL GetText1() override { return TextOf(text1_); }
    bool RK_CALL SetText2(const char* text) override { return SetText(text2_, text); }
    const char* RK_CALL GetText2() override { return TextOf(text2_); }
    bool RK_CALL SetFlag(bool flag) override { return Set(flag_, flag); }
    bool RK_CALL GetFlag() override { return flag_; }
    bool RK_CALL SetValue2(uint32_t value) override { return Set(value2_, value); }
    uint32_t RK_CALL GetValue2() override { return value2_; }
    bool RK_CALL SetLevel(int32_t level) override { return Set(level_, level); }
    int32_t RK_CALL GetLevel() override { return level_; }
    bool RK_CALL SetSubLevel(int32_t subLevel) override { return Set(subLevel_, subLevel); }
    int32_t RK_CALL GetSubLevel() override { return subLevel_; }
    bool RK_CALL SetText3(const char* text) override { return SetText(text3_, text); }
    const char* RK_CALL GetText3() override { return TextOf(text3_); }
    bool RK_CALL SetRiskType(uint32_t type) override { return Set(riskType_, type); }
    uint32_t RK_CALL GetRiskType() override { return riskType_; }
    // names is a string pair ending in a double NUL.
    bool RK_CALL SetRiskName(const char16_t* names) override;
    const char16_t* RK_CALL GetRiskName() override { return riskName_.data(); }
    bool RK_CALL SetValue6(uint32_t value) override { return Set(value6_, value); }
    uint32_t RK_CALL GetValue6() override { return value6_; }
    bool RK_CALL SetValue7(uint32_t value) override { return Set(value7_, value); }
    uint32_t RK_CALL GetValue7() override { return value7_; }
    bool RK_CALL SetEngineId(uint32_t id) override { return Set(engineId_, id); }
    uint32_t RK_CALL GetEngineId() override { return engineId_; }

  private:
    template <class T, class U>
    static bool Set(T& field, U value) {
        field = static_cast<T>(value);
        return true;
    }
    static bool SetText(std::optional<std::string>& field, const char* text);
    static const char* TextOf(const std::optional<std::string>& field) {
        return field ? field->c_str() : nullptr;
    }

    uint32_t value1_ = 0, value2_ = 0, value6_ = 0, value7_ = 0;
    uint32_t riskType_ = 0, engineId_ = 0;
    int32_t level_ = 0, subLevel_ = 0;
    bool flag_ = true;
    std::optional<std::u16string> path_;
    std::optional<std::string> text1_, text2_, text3_;
    std::vector<uint8_t> md5_, sha1_;
    // At least 261 zeroed units, as the plug-in reads up to 260 of them.
    std::vector<char16_t> riskName_ = std::vector<char16_t>(261, u'\0');
};

}  // namespace simhost
