// One file described for the host's cloud query and item records: seventeen fields, each
// behind a setter and a getter. Unlocked: an item is filled by one thread before it is handed
// on.
#pragma once

#include "abi/bundle.h"
#include "abi/host_ref.h"
#include "bundle/memory.h"
#include "bundle/object_frame.h"

namespace tierlock {

class CRKScanItemImp final
    : public Base::SmartUnknownImpl<CRKScanItemImp, IRKScanItem, IID_IRKScanItem> {
  public:
    static constexpr uint32_t kMd5Size = 16;
    static constexpr uint32_t kSha1Size = 20;
    static constexpr size_t kRiskNameUnits = 260;  // the least room kept, without the NUL

    CRKScanItemImp() noexcept = default;
    ~CRKScanItemImp() = default;

    void* RK_DTOR_CALL ScalarDeletingDestructor(uint32_t flags) override;

    bool RK_CALL SetValue1(uint32_t value) override;
    uint32_t RK_CALL GetValue1() override;
    bool RK_CALL SetPath(const char16_t* path) override;
    const char16_t* RK_CALL GetPath() override;
    bool RK_CALL SetAttachedObject(ISmartUnknown* object) override;
    ISmartUnknown* RK_CALL GetAttachedObject() override;
    bool RK_CALL SetMd5(const uint8_t* digest, uint32_t length) override;
    bool RK_CALL GetMd5(uint8_t* buffer, uint32_t length) override;
    bool RK_CALL SetSha1(const uint8_t* digest, uint32_t length) override;
    bool RK_CALL GetSha1(uint8_t* buffer, uint32_t length) override;
    bool RK_CALL SetText1(const char* text) override;
    const char* RK_CALL GetText1() override;
    bool RK_CALL SetText2(const char* text) override;
    const char* RK_CALL GetText2() override;
    bool RK_CALL SetFlag(bool flag) override;
    bool RK_CALL GetFlag() override;
    bool RK_CALL SetValue2(uint32_t value) override;
    uint32_t RK_CALL GetValue2() override;
    bool RK_CALL SetLevel(int32_t level) override;
    int32_t RK_CALL GetLevel() override;
    bool RK_CALL SetSubLevel(int32_t subLevel) override;
    int32_t RK_CALL GetSubLevel() override;
    bool RK_CALL SetText3(const char* text) override;
    const char* RK_CALL GetText3() override;
    bool RK_CALL SetRiskType(uint32_t type) override;
    uint32_t RK_CALL GetRiskType() override;
    bool RK_CALL SetRiskName(const char16_t* names) override;
    const char16_t* RK_CALL GetRiskName() override;
    bool RK_CALL SetValue6(uint32_t value) override;
    uint32_t RK_CALL GetValue6() override;
    bool RK_CALL SetValue7(uint32_t value) override;
    uint32_t RK_CALL GetValue7() override;
    bool RK_CALL SetEngineId(uint32_t id) override;
    uint32_t RK_CALL GetEngineId() override;

  private:
    uint32_t m_value1 = 0;
    BundleBuffer<char16_t> m_path;
    HostRef<ISmartUnknown> m_attached;
    uint8_t m_md5[kMd5Size] = {};
    uint8_t m_sha1[kSha1Size] = {};
    BundleBuffer<char> m_text1;
    BundleBuffer<char> m_text2;
    bool m_flag = true;
    uint32_t m_value2 = 0;
    int32_t m_level = 0;
    int32_t m_subLevel = 0;
    BundleBuffer<char> m_text3;
    uint32_t m_riskType = 0;
    BundleBuffer<char16_t> m_riskName;
    uint32_t m_value6 = 0;
    uint32_t m_value7 = 0;
    uint32_t m_engineId = 0;
};

}  // namespace tierlock
