// The plug-in object handed to the host.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "abi/host.h"
#include "abi/host_ref.h"
#include "abi/options.h"
#include "abi/rule_plug.h"
#include "engine/engine.h"
#include "plugin/rule_set_holder.h"
#include "rules/candidate_filter.h"
#include "rules/rule_set.h"

namespace tierlock {

// Process-wide secure-API switch: 1 while the library is loaded until SetEnable changes it.
extern std::atomic<uint8_t> bSercureApiSwitch;

class Tierlock final : public IRkRulePlug {
  public:
    Tierlock() = default;
    ~Tierlock() = default;
    Tierlock(const Tierlock&) = delete;
    Tierlock& operator=(const Tierlock&) = delete;

    bool RK_CALL Init(IRkFramework* pFramework, const char* config, int32_t configLength) override;
    void RK_CALL UnInit() override;
    void RK_CALL SetEnable(int32_t key, bool enable) override;
    int32_t RK_CALL FirstProcessEvent(void* event, void* ruleEng) override;
    int32_t RK_CALL PreProcessEvent(void* event, void* ruleEng) override;
    int32_t RK_CALL PostProcessEvent(void* event, void* ruleEng) override;
    int32_t RK_CALL LastProcessEvent(IRkRuleEvent* event, IRkRuleEngine* ruleEng) override;
    bool RK_CALL AfterProcessEvent(void* event, void* ruleEng, void* extra) override;

    // The configuration in force, kept alive while the pin lasts.
    RuleSetHolder::Pin ruleSet() const { return m_ruleSet.Read(); }

  private:
    // Parses the configuration text into a new rule set on top of the previous match modes.
    void LoadConfiguration(std::string_view config, const RuleSet* previous);
    // Collects the six host services; a missing one is logged and left null.
    void QueryServices(IRkFramework* frame);
    // The services an event reads, borrowed for one call.
    EventServices Services() const;
    // Makes ruleSet the configuration in force, the candidate filter with it.
    void Publish(std::shared_ptr<const RuleSet> ruleSet);

    // The flags are read by event threads while Init, UnInit and SetEnable write them.
    std::atomic<bool> m_isInited{false};
    std::atomic<bool> m_isEnabled{false};
    std::atomic<bool> m_isEnabled2{false};
    std::atomic<bool> m_isWin64{false};
    BorrowedRef<IRKEngCloudV2> m_spEngCloudV2;
    HostRef<IRKProcTreeV3Ctrl> m_ProcTree;
    HostRef<IRKProcessTreeHelperCtrl> m_spProcTreeHelperCtrl;
    // The rules and match modes as one value: Init swaps in a new one whole, so an event
    // never sees a configuration half replaced, and events read it without taking a lock.
    RuleSetHolder m_ruleSet;
    // Starts empty, as the rule set does.
    CandidateFilter m_candidateFilter;
    HostRef<IRKCache> m_spCache;
    HostRef<IRKMisKillingQuery> m_spMisKillingQuery;
    HostRef<IRKMisKillingQuery_V2> m_spMisKillingQueryV2;
};

}  // namespace tierlock
