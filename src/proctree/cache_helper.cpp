#include "proctree/cache_helper.h"

#include <new>

#include "abi/bundle.h"
#include "log/log.h"
#include "platform/clock.h"
#include "proctree/level_pair.h"

namespace tierlock {
namespace {

constexpr const char* kGetTag = "rkProcessTreeCacheHelper::GetProcessProperty";

// A chain deeper than this is a host fault, not a process ancestry.
constexpr uint32_t kMaxChainRecords = 4096;

uint64_t CreateTimeOf(const uint64_t* pCreateTime) {
    return pCreateTime ? *pCreateTime : 0;
}

// A value of another width than asked for is not the property: it counts as a failed read.
bool SizeIsExact(bool ok, uint32_t size, uint32_t expected, const char* name) {
    if (ok && size != expected) {
        Log(LogLevel::Error, kGetTag, u"key : %s  size : %u refused", name, size);
        return false;
    }
    return ok;
}

// Both widths read the same way; only the value's format differs in the line.
template <class Value>
bool ReadProperty(IRKProcessTreeCache* cache, uint32_t pid, const uint64_t* pCreateTime,
                  const char* name, Value& outValue, const char16_t* format) {
    if (!cache) {
        return false;
    }
    uint32_t size = sizeof(outValue);
    const bool answered = cache->GetProcessValue(pid, pCreateTime, name, &outValue, &size);
    const bool ok = SizeIsExact(answered, size, sizeof(outValue), name);
    Log(LogLevel::Info, kGetTag, format, pid, CreateTimeOf(pCreateTime), name, outValue,
        ok ? 1 : 0);
    return ok;
}

}  // namespace

bool rkProcessTreeCacheHelper::GetProcessProperty(uint32_t pid, const uint64_t* pCreateTime,
                                                  const char* name, int32_t& outValue) {
    return ReadProperty(m_pCache.Get(), pid, pCreateTime, name, outValue,
                        u"pid : %u  createtime : %llu  key : %s  value : %d  ret : %d");
}

bool rkProcessTreeCacheHelper::GetProcessProperty(uint32_t pid, const uint64_t* pCreateTime,
                                                  const char* name, uint64_t& outValue) {
    return ReadProperty(m_pCache.Get(), pid, pCreateTime, name, outValue,
                        u"pid : %u  createtime : %llu  key : %s  value : %llu  ret : %d");
}

bool rkProcessTreeCacheHelper::SetProcessProperty(uint32_t pid, const uint64_t* pCreateTime,
                                                  const char* name, int32_t value) {
    if (!m_pCache) {
        return false;
    }
    const int32_t copy = value;
    const bool ok = m_pCache->SetProcessValue(pid, pCreateTime, name, &copy, sizeof(copy), 0);
    Log(LogLevel::Info, "rkProcessTreeCacheHelper::SetProcessProperty",
        u"pid : %u  createtime : %llu  key : %s  value : %d  ret : %d", pid,
        CreateTimeOf(pCreateTime), name, value, ok ? 1 : 0);
    return ok;
}

bool rkProcessTreeCacheHelper::GetProcessLevel(uint32_t pid, const uint64_t* pCreateTime,
                                               int32_t& outLevel, int32_t& outSubLevel) {
    constexpr const char* kTag = "rkProcessTreeCacheHelper::GetProcessLevel";
    if (!m_pCache) {
        return false;
    }
    bool fixed = false;
    uint64_t ttl = 0;
    if (GetProcessProperty(pid, pCreateTime, kFixLevelTtl, ttl)) {
        const uint64_t now = platform::CurrentUnixSeconds();  // asked only when there is a ttl
        Log(LogLevel::Info, kTag, u"FixLevelTTL : %llu  CurrentTime : %llu", ttl, now);
        fixed = FixedPairInForce(ttl, now);
    }
    const LevelPairNames names = LevelPairInForce(fixed);
    Log(LogLevel::Info, kTag, u"KeyLevel : %s  KeySubLevel : %s", names.level, names.subLevel);
    if (!GetProcessProperty(pid, pCreateTime, names.level, outLevel)) {
        return false;
    }
    return GetProcessProperty(pid, pCreateTime, names.subLevel, outSubLevel);
}

bool rkProcessTreeCacheHelper::GetChainRecords(uint32_t pid, ChainRecords& records) {
    if (!m_pCache) {
        return false;
    }
    uint32_t count = 0;
    if (!m_pCache->GetProcessChain(pid, 0, nullptr, &count)) {
        return false;
    }
    if (count > kMaxChainRecords) {
        Log(LogLevel::Error, "rkProcessTreeCacheHelper::GetChainRecords", u"chain count %u refused",
            count);
        return false;
    }
    records.assign_zeroed(count);
    uint32_t capacity = count;
    return m_pCache->GetProcessChain(pid, 0, records.data(), &capacity);
}

}  // namespace tierlock
