#include "simhost/services.h"

namespace simhost {

bool RK_CALL CacheService::QueryFileInfo(IASBundle*) {
    calls_.fetch_add(1);
    return false;
}

bool RK_CALL CloudEngine::QueryItemList(IRKScanItem**, IASBundle*) {
    calls_.fetch_add(1);
    return false;
}

bool RK_CALL TrustQueryV1::IsCanSkipReport(const char16_t* path, int32_t, int32_t, uint8_t* skip,
                                           uint32_t* matchType) {
    std::lock_guard lock(mutex_);
    paths_.push_back(path ? path : u"");
    if (skip) {
        *skip = 0;
    }
    if (matchType) {
        *matchType = 0;
    }
    return false;
}

std::vector<std::u16string> TrustQueryV1::paths() const {
    std::lock_guard lock(mutex_);
    return paths_;
}

bool RK_CALL TrustQueryV2::IsCanSkipReport(const char16_t* path, IASBundle*, uint8_t* skip,
                                           uint32_t* matchType) {
    std::lock_guard lock(mutex_);
    paths_.push_back(path ? path : u"");
    if (skip) {
        *skip = 0;
    }
    if (matchType) {
        *matchType = 0;
    }
    return false;
}

std::vector<std::u16string> TrustQueryV2::paths() const {
    std::lock_guard lock(mutex_);
    return paths_;
}

}  // namespace simhost
