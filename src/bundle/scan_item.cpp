#include "bundle/scan_item.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "abi/boundary.h"
#include "bundle/bundle.h"

namespace tierlock {

namespace {

// Replaces `field` with an owned copy of `text`. A null text leaves the field; when no memory
// can be had the field is left empty.
template <class Char>
bool AssignString(BundleBuffer<Char>& field, const Char* text) {
    if (!text) {
        return false;
    }
    field.reset();
    const size_t units = std::char_traits<Char>::length(text) + 1;
    field = MakeZeroedBlock<Char, BundleValueMemory>(units);
    if (!field) {
        return false;
    }
    std::memcpy(field.get(), text, units * sizeof(Char));
    return true;
}

bool CopyBlock(uint8_t* to, const uint8_t* from, uint32_t length, uint32_t expected) {
    if (!to || !from || length != expected) {
        return false;
    }
    std::memcpy(to, from, expected);
    return true;
}

template <class Field>
bool Store(Field& field, Field value) {
    return CatchReturn(false, [&] {
        field = value;
        return true;
    });
}

template <class Field>
Field Load(const Field& field) {
    return CatchReturn(Field{}, [&] { return field; });
}

template <class Char>
const Char* View(const BundleBuffer<Char>& field) {
    return CatchReturn(static_cast<const Char*>(nullptr), [&] { return field.get(); });
}

}  // namespace

void* RK_DTOR_CALL CRKScanItemImp::ScalarDeletingDestructor(uint32_t flags) {
    return CatchReturn(static_cast<void*>(nullptr), [&] { return DestroyByFlags(flags); });
}

bool RK_CALL CRKScanItemImp::SetPath(const char16_t* path) {
    return CatchReturn(false, [&] { return AssignString(m_path, path); });
}

const char16_t* RK_CALL CRKScanItemImp::GetPath() {
    return View(m_path);
}

bool RK_CALL CRKScanItemImp::SetAttachedObject(ISmartUnknown* object) {
    return CatchReturn(false, [&] {
        if (!object) {
            return false;
        }
        m_attached.Assign(object);
        return true;
    });
}

ISmartUnknown* RK_CALL CRKScanItemImp::GetAttachedObject() {
    return CatchReturn(static_cast<ISmartUnknown*>(nullptr), [&] {
        ISmartUnknown* attached = m_attached.Get();
        if (attached) {
            attached->AddRef();
        }
        return attached;
    });
}

bool RK_CALL CRKScanItemImp::SetMd5(const uint8_t* digest, uint32_t length) {
    return CatchReturn(false, [&] { return CopyBlock(m_md5, digest, length, kMd5Size); });
}

bool RK_CALL CRKScanItemImp::GetMd5(uint8_t* buffer, uint32_t length) {
    return CatchReturn(false, [&] { return CopyBlock(buffer, m_md5, length, kMd5Size); });
}

bool RK_CALL CRKScanItemImp::SetSha1(const uint8_t* digest, uint32_t length) {
    return CatchReturn(false, [&] { return CopyBlock(m_sha1, digest, length, kSha1Size); });
}

bool RK_CALL CRKScanItemImp::GetSha1(uint8_t* buffer, uint32_t length) {
    return CatchReturn(false, [&] { return CopyBlock(buffer, m_sha1, length, kSha1Size); });
}

bool RK_CALL CRKScanItemImp::SetText1(const char* text) {
    return CatchReturn(false, [&] { return AssignString(m_text1, text); });
}

const char* RK_CALL CRKScanItemImp::GetText1() {
    return View(m_text1);
}

bool RK_CALL CRKScanItemImp::SetText2(const char* text) {
    return CatchReturn(false, [&] { return AssignString(m_text2, text); });
}

const char* RK_CALL CRKScanItemImp::GetText2() {
    return View(m_text2);
}

bool RK_CALL CRKScanItemImp::SetText3(const char* text) {
    return CatchReturn(false, [&] { return AssignString(m_text3, text); });
}

const char* RK_CALL CRKScanItemImp::GetText3() {
    return View(m_text3);
}

// The text is the first string of a pair that ends in a double NUL; the second string, when
// there is one, is kept after the first one's NUL. The buffer always has room for 260 units
// and a terminator, since the host reads that many.
bool RK_CALL CRKScanItemImp::SetRiskName(const char16_t* names) {
    return CatchReturn(false, [&] {
        if (!names) {
            return false;
        }
        size_t taken = std::char_traits<char16_t>::length(names);
        if (taken != 0 && names[taken + 1] != u'\0') {
            taken += 1 + std::char_traits<char16_t>::length(names + taken + 1);
        }
        m_riskName.reset();
        m_riskName =
            MakeZeroedBlock<char16_t, BundleValueMemory>(std::max(taken, kRiskNameUnits) + 1);
        if (!m_riskName) {
            return false;
        }
        std::memcpy(m_riskName.get(), names, taken * sizeof(char16_t));
        return true;
    });
}

const char16_t* RK_CALL CRKScanItemImp::GetRiskName() {
    return View(m_riskName);
}

bool RK_CALL CRKScanItemImp::SetValue1(uint32_t value) {
    return Store(m_value1, value);
}
uint32_t RK_CALL CRKScanItemImp::GetValue1() {
    return Load(m_value1);
}
bool RK_CALL CRKScanItemImp::SetFlag(bool flag) {
    return Store(m_flag, flag);
}
bool RK_CALL CRKScanItemImp::GetFlag() {
    return Load(m_flag);
}
bool RK_CALL CRKScanItemImp::SetValue2(uint32_t value) {
    return Store(m_value2, value);
}
uint32_t RK_CALL CRKScanItemImp::GetValue2() {
    return Load(m_value2);
}
bool RK_CALL CRKScanItemImp::SetLevel(int32_t level) {
    return Store(m_level, level);
}
int32_t RK_CALL CRKScanItemImp::GetLevel() {
    return Load(m_level);
}
bool RK_CALL CRKScanItemImp::SetSubLevel(int32_t subLevel) {
    return Store(m_subLevel, subLevel);
}
int32_t RK_CALL CRKScanItemImp::GetSubLevel() {
    return Load(m_subLevel);
}
bool RK_CALL CRKScanItemImp::SetRiskType(uint32_t type) {
    return Store(m_riskType, type);
}
uint32_t RK_CALL CRKScanItemImp::GetRiskType() {
    return Load(m_riskType);
}
bool RK_CALL CRKScanItemImp::SetValue6(uint32_t value) {
    return Store(m_value6, value);
}
uint32_t RK_CALL CRKScanItemImp::GetValue6() {
    return Load(m_value6);
}
bool RK_CALL CRKScanItemImp::SetValue7(uint32_t value) {
    return Store(m_value7, value);
}
uint32_t RK_CALL CRKScanItemImp::GetValue7() {
    return Load(m_value7);
}
bool RK_CALL CRKScanItemImp::SetEngineId(uint32_t id) {
    return Store(m_engineId, id);
}
uint32_t RK_CALL CRKScanItemImp::GetEngineId() {
    return Load(m_engineId);
}

int32_t CreateScanItem(IRKScanItem** out) noexcept {
    return Base::CreateAndHandOut<CRKScanItemImp>(out);
}

}  // namespace tierlock
