#include "engine/event_inputs.h"

#include "abi/bundle.h"
#include "log/log.h"

namespace tierlock {
namespace {

bool ReadFlagProperty(IRkRuleTarget* target, uint32_t id, const char* tag, const char16_t* format) {
    if (!target) {
        return false;
    }
    uint32_t value = 0;
    uint32_t size = sizeof(value);
    const int32_t status = target->GetProperty(id, &value, &size);
    if (status != RK_S_OK) {
        Log(LogLevel::Error, tag, u"GetProperty Fail,ret=0x%X", status);
        return false;
    }
    Log(LogLevel::Info, tag, format, value);
    return value != 0;
}

}  // namespace

IRkRuleTarget* GetTarget(IRkRuleEngine* ruleEng) {
    IRkRuleTarget* target = nullptr;
    if (ruleEng) {
        ruleEng->GetTargetV2(&IID_IRkRuleTarget, &target);
    }
    if (!target) {
        Log(LogLevel::Error, "GetTarget", u"GetTargetV2 error: ruleEng");
    }
    return target;
}

bool isPassEvent(IRkRuleTarget* target) {
    return ReadFlagProperty(target, kPropertyPassEvent, "isPassEvent",
                            u"GetProperty isPassEvent=%d");
}

bool isDangerousEvent(IRkRuleTarget* target) {
    return ReadFlagProperty(target, kPropertyDangerousEvent, "isDangerousEvent",
                            u"GetProperty isDangerousEvent=%d");
}

}  // namespace tierlock
