// Event-side host objects: the event with its record, the rule engine and the target with its
// file levels, properties and items. The plug-in borrows them for one call.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "abi/host.h"
#include "abi/records.h"

namespace simhost {

class RuleEvent final : public IRkRuleEvent {
  public:
    RuleEvent();
    ~RuleEvent();
    RuleEvent(const RuleEvent&) = delete;
    RuleEvent& operator=(const RuleEvent&) = delete;

    // Zero-filled, recordSize 632; tests fill the fields the event needs.
    tierlock::RkEventRecord record;
    bool hasRecord = true;

    struct Attached {
        int32_t kind;
        IRkBundle* bundle;  // the event holds its own reference until destroyed
    };
    const std::vector<Attached>& attached() const { return attached_; }
    // Gives back the attached bundles now, while the library that made them is still loaded.
    void ReleaseAttached();

    void* RK_CALL GetRecord() override;
    int32_t RK_CALL AttachBundle(int32_t kind, IRkBundle* bundle) override;

  private:
    std::vector<Attached> attached_;
};

class HostBundle;

// Writes the address of cache into bundle under the key where the plug-in looks for the
// event's process-information cache; a null cache writes 0, "no cache".
void CarryCacheIn(IASBundle& bundle, IRKProcessTreeCache* cache);

class RuleTarget final : public IRkRuleTarget {
  public:
    RuleTarget();
    ~RuleTarget();
    RuleTarget(const RuleTarget&) = delete;
    RuleTarget& operator=(const RuleTarget&) = delete;

    // From now on the target's bundle carries cache, as the bundle of a host that hands out its
    // process-information cache does (null: the bundle says there is none). The bundle is the
    // target's own.
    void CarryCache(IRKProcessTreeCache* cache);

    struct ItemRequest {
        std::optional<std::u16string> path;  // empty when the plug-in passed null
        uint32_t type;
    };
    struct PropertyAnswer {
        int32_t status;
        uint32_t value;
    };

    IASBundle* bundle = nullptr;
    std::u16string srcPath;
    std::u16string dstPath;
    int32_t srcLevel = 0, srcSubLevel = 0, dstLevel = 0, dstSubLevel = 0;
    int32_t guardType = 0, operatorType = 0;
    // Unconfigured property ids answer status 0 with the value 0.
    std::map<uint32_t, PropertyAnswer> properties;
    // Items by type; a type without an item answers null.
    std::map<uint32_t, tierlock::RkItemRecord*> items;

    const std::vector<ItemRequest>& itemRequests() const { return itemRequests_; }
    // Property ids in the order the plug-in read them.
    const std::vector<uint32_t>& propertyReads() const { return propertyReads_; }

    // How often the plug-in asked for the bundle (where it finds the process cache).
    size_t bundleReads() const { return bundleReads_; }

    IASBundle* RK_CALL GetBundle() override {
        ++bundleReads_;
        return bundle;
    }
    void* RK_CALL GetItem(const char16_t* path, uint32_t type) override;
    const char16_t* RK_CALL GetDstPath() override { return dstPath.c_str(); }
    const char16_t* RK_CALL GetSrcPath() override { return srcPath.c_str(); }
    int32_t RK_CALL GetSrcFileLevel() override { return srcLevel; }
    int32_t RK_CALL GetSrcFileSubLevel() override { return srcSubLevel; }
    int32_t RK_CALL GetDstFileLevel() override { return dstLevel; }
    int32_t RK_CALL GetDstFileSubLevel() override { return dstSubLevel; }
    int32_t RK_CALL GetGuardType() override { return guardType; }
    int32_t RK_CALL GetOperatorType() override { return operatorType; }
    int32_t RK_CALL GetProperty(uint32_t id, void* buffer, uint32_t* size) override;

  private:
    std::unique_ptr<HostBundle> carrier_;
    std::vector<ItemRequest> itemRequests_;
    std::vector<uint32_t> propertyReads_;
    size_t bundleReads_ = 0;
};

class RuleEngine final : public IRkRuleEngine {
  public:
    explicit RuleEngine(IRkRuleTarget* target) : target_(target) {}
    size_t requests() const { return requests_; }

    // Hands out the target for IID_IRkRuleTarget only.
    int32_t RK_CALL GetTargetV2(const RkGuid* iid, IRkRuleTarget** out) override;

  private:
    IRkRuleTarget* target_;
    size_t requests_ = 0;
};

}  // namespace simhost
