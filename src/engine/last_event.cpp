#include "engine/last_event.h"

#include <string>

#include "abi/report_records.h"
#include "engine/candidate_rules.h"
#include "engine/event_inputs.h"
#include "engine/level_matching.h"
#include "engine/popup_request.h"
#include "levels/level_resolver.h"
#include "log/log.h"

namespace tierlock {
namespace {

constexpr char kTag[] = "Tierlock::LastProcessEvent";

}  // namespace

AdmittedEvent AdmitEvent(IRkRuleEvent* event, IRkRuleEngine* ruleEng) {
    if (!event) {
        return {};
    }
    auto* record = static_cast<RkEventRecord*>(event->GetRecord());
    if (!record) {
        return {};
    }
    IRkRuleTarget* target = GetTarget(ruleEng);
    if (!target) {
        Log(LogLevel::Error, kTag, u"GetTarget Fail");
        return {};
    }
    if (isPassEvent(target)) {
        Log(LogLevel::Info, kTag, u"该事件是放行事件已被明确处理结果，Last接口不再处理");
        return {};
    }
    if (isDangerousEvent(target)) {
        Log(LogLevel::Info, kTag, u"该事件是风险事件已被报出，Last接口不再处理");
        return {};
    }
    const bool synchronous = record->syncMode == kSyncModeSynchronous;
    Log(LogLevel::Info, kTag, u"Class=%d uRuleId=%d issync=%s", record->Class, record->uRuleId,
        synchronous ? u"true" : u"false");
    if (!synchronous) {
        Log(LogLevel::Info, kTag, u"This event does not require processing");
        return {};
    }
    return {record, target};
}

int32_t DeclineEvent() {
    Log(LogLevel::Info, kTag, u"This event does not require processing");
    return kVerdictNone;
}

int32_t EvaluateEvent(const RuleSet& ruleSet, const EventServices& services, IRkRuleEvent* event,
                      const AdmittedEvent& admitted) {
    RkEventRecord& record = *admitted.record;
    const CandidateRules candidates =
        GetCandidateRules(ruleSet, static_cast<uint32_t>(record.Class), record.uRuleId);
    if (candidates.empty()) {
        return DeclineEvent();
    }

    std::string popwnd;
    int32_t index = 0;
    const ProcessSource processes(admitted.target, services.tree);
    const LevelResolver resolver(services.report.trust, services.cloud, processes);
    if (!CompareEventLevels(ruleSet, resolver, &candidates, record, admitted.target, index,
                            popwnd)) {
        Log(LogLevel::Info, kTag, u"CompareLevels unmatch");
        return kVerdictNone;
    }
    Log(LogLevel::Info, kTag, u"CompareEventLevels success,result=true,start popwnd");
    return RequestPopup(services.report, processes, event, record, admitted.target, candidates,
                        index, popwnd);
}

}  // namespace tierlock
