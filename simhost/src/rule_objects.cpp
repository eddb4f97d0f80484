#include "simhost/rule_objects.h"

#include <cstring>

#include "abi/bundle.h"
#include "simhost/host_bundle.h"

namespace simhost {

RuleEvent::RuleEvent() {
    std::memset(&record, 0, sizeof(record));
    record.recordSize = tierlock::kRecordSizeWithExtBundle;
}

RuleEvent::~RuleEvent() {
    ReleaseAttached();
}

void RuleEvent::ReleaseAttached() {
    for (const Attached& entry : attached_) {
        if (entry.bundle) {
            entry.bundle->Release();
        }
    }
    attached_.clear();
}

void* RK_CALL RuleEvent::GetRecord() {
    return hasRecord ? &record : nullptr;
}

int32_t RK_CALL RuleEvent::AttachBundle(int32_t kind, IRkBundle* bundle) {
    if (bundle) {
        bundle->AddRef();
    }
    attached_.push_back({kind, bundle});
    return RK_S_OK;
}

void CarryCacheIn(IASBundle& bundle, IRKProcessTreeCache* cache) {
    const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(cache));
    bundle.PutInt64(tierlock::kProcessTreeCacheKey, static_cast<uint32_t>(address),
                    static_cast<uint32_t>(address >> 32));
}

RuleTarget::RuleTarget() = default;
RuleTarget::~RuleTarget() = default;

void RuleTarget::CarryCache(IRKProcessTreeCache* cache) {
    if (!carrier_) {
        carrier_ = std::make_unique<HostBundle>();
    }
    CarryCacheIn(*carrier_, cache);
    bundle = carrier_.get();
}

void* RK_CALL RuleTarget::GetItem(const char16_t* path, uint32_t type) {
    itemRequests_.push_back({path ? std::optional<std::u16string>(path) : std::nullopt, type});
    auto it = items.find(type);
    return it == items.end() ? nullptr : it->second;
}

int32_t RK_CALL RuleTarget::GetProperty(uint32_t id, void* buffer, uint32_t* size) {
    propertyReads_.push_back(id);
    if (!buffer || !size || *size < sizeof(uint32_t)) {
        return RK_E_INVALIDARG;
    }
    PropertyAnswer answer{RK_S_OK, 0};
    if (auto it = properties.find(id); it != properties.end()) {
        answer = it->second;
    }
    if (answer.status == RK_S_OK) {
        std::memcpy(buffer, &answer.value, sizeof(answer.value));
        *size = sizeof(answer.value);
    }
    return answer.status;
}

int32_t RK_CALL RuleEngine::GetTargetV2(const RkGuid* iid, IRkRuleTarget** out) {
    ++requests_;
    if (!out) {
        return RK_E_INVALIDARG;
    }
    if (!iid || !(*iid == IID_IRkRuleTarget) || !target_) {
        *out = nullptr;
        return RK_E_NOINTERFACE;
    }
    *out = target_;
    return RK_S_OK;
}

}  // namespace simhost
