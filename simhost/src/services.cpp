#include "simhost/services.h"

#include <algorithm>

#include "abi/bundle.h"
#include "simhost/proc_tree.h"

namespace simhost {

uint32_t TreeWatch::HeldRootsNow() const {
    return watched_ ? watched_->heldRoots() : 0;
}

void CacheService::AnswerFile(const std::u16string& path, FileDigests digests) {
    std::lock_guard lock(mutex_);
    files_[path] = std::move(digests);
}

bool RK_CALL CacheService::QueryFileInfo(IASBundle* bundle) {
    const bool records = recording();
    if (records) {
        calls_.fetch_add(1);
    }
    if (!bundle) {
        return false;
    }
    uint32_t size = 0;
    bundle->GetWString("FilePath", nullptr, &size);
    std::u16string path(size / sizeof(char16_t), u'\0');
    if (bundle->GetWString("FilePath", path.data(), &size) != RK_S_OK) {
        return false;
    }
    path.resize(std::min(path.find(u'\0'), path.size()));
    std::unique_lock lock(mutex_, std::defer_lock);
    if (records) {
        lock.lock();
        paths_.push_back(path);
    }
    auto file = files_.find(path);
    if (file == files_.end()) {
        return false;
    }
    bundle->PutWString("FileMd5", file->second.md5.c_str());
    bundle->PutWString("FileSha1", file->second.sha1.c_str());
    return true;
}

void CacheService::ClearRecords() {
    std::lock_guard lock(mutex_);
    paths_.clear();
}

std::vector<std::u16string> CacheService::paths() const {
    std::lock_guard lock(mutex_);
    return paths_;
}

void CloudEngine::Answer(const std::u16string& path, Level level) {
    std::lock_guard lock(mutex_);
    levels_[path] = level;
}

void CloudEngine::SetFailing(bool failing) {
    std::lock_guard lock(mutex_);
    failing_ = failing;
}

std::vector<CloudEngine::Call> CloudEngine::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

bool RK_CALL CloudEngine::QueryItemList(IRKScanItem** items, IASBundle* params) {
    std::unique_lock lock(mutex_, std::defer_lock);
    if (recording()) {
        lock.lock();
    }
    Call call{ReadBundleNumbers(params), {}};
    uint32_t count = 0;
    if (params) {
        params->GetInt("ItemCount", &count);
    }
    for (uint32_t i = 0; items && i < count; ++i) {
        Item seen;
        if (IRKScanItem* item = items[i]) {
            const char16_t* path = item->GetPath();
            if (path) {
                seen.path = path;
            }
            seen.value2 = item->GetValue2();
            auto known = levels_.find(path ? path : u"");
            const Level level = known == levels_.end() ? Level{} : known->second;
            item->SetLevel(level.level);
            item->SetSubLevel(level.subLevel);
        }
        call.items.push_back(std::move(seen));
    }
    if (recording()) {
        call.heldRoots = HeldRootsNow();
        calls_.push_back(std::move(call));
    }
    return !failing_;
}

BundleNumbers ReadBundleNumbers(IASBundle* bundle) {
    BundleNumbers numbers;
    if (!bundle) {
        return numbers;
    }
    uint32_t size = 0;
    bundle->GetKeys(nullptr, &size);
    std::string keys(size, '\0');
    if (size == 0 || bundle->GetKeys(keys.data(), &size) != RK_S_OK) {
        return numbers;
    }
    for (size_t at = 0; at < keys.size() && keys[at] != '\0';) {
        const std::string key(keys.c_str() + at);
        at += key.size() + 1;
        uint32_t type = 0;
        bundle->GetType(key.c_str(), &type);
        uint64_t value = 0;
        if (type == RK_BUNDLE_INT) {
            uint32_t value32 = 0;
            bundle->GetInt(key.c_str(), &value32);
            value = value32;
        } else if (type == RK_BUNDLE_INT64) {
            bundle->GetInt64(key.c_str(), &value);
        }
        numbers[key] = {type, value};
    }
    return numbers;
}

bool RK_CALL TrustQueryV1::IsCanSkipReport(const char16_t* path, int32_t subLevel, int32_t reserved,
                                           uint8_t* skip, uint32_t* matchType) {
    if (!recording()) {
        return Reply(Lookup(path), skip, matchType);
    }
    std::lock_guard lock(mutex_);
    calls_.push_back({path ? path : u"", subLevel, reserved, skip ? *skip : uint8_t{0xEE},
                      matchType ? *matchType : 0xEEEEEEEEu, HeldRootsNow()});
    return Reply(Lookup(path), skip, matchType);
}

std::vector<TrustQueryV1::Call> TrustQueryV1::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

bool RK_CALL TrustQueryV2::IsCanSkipReport(const char16_t* path, IASBundle* params, uint8_t* skip,
                                           uint32_t* matchType) {
    if (!recording()) {
        ReadBundleNumbers(params);  // the service still reads what it was sent
        return Reply(Lookup(path), skip, matchType);
    }
    std::lock_guard lock(mutex_);
    calls_.push_back({path ? path : u"", ReadBundleNumbers(params), skip ? *skip : uint8_t{0xEE},
                      matchType ? *matchType : 0xEEEEEEEEu, HeldRootsNow()});
    return Reply(Lookup(path), skip, matchType);
}

std::vector<TrustQueryV2::Call> TrustQueryV2::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace simhost
