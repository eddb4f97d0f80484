#include "plugin/tierlock.h"

#include "log/log.h"
#include "plugin/boundary.h"

namespace tierlock {

std::atomic<uint8_t> bSercureApiSwitch{1};

bool RK_CALL Tierlock::Init(IRkFramework* pFramework, const char* config, int32_t configLength) {
    return CatchReturn(false, [&] {
        if (!pFramework) {
            Log(LogLevel::Error, "Tierlock::Init", u"Parameter error,pFramework=nullptr");
            return false;
        }
        if (m_isInited) {
            return true;
        }
        g_pFrame.store(pFramework, std::memory_order_release);
        m_rules.clear();
        m_isInited = true;
        Log(LogLevel::Info, "Tierlock::Init", u"Init ok");
        return true;
    });
}

void RK_CALL Tierlock::UnInit() {
    CatchVoid([&] {
        Log(LogLevel::Info, "Tierlock::UnInit", u"UnInit ok");
        m_isInited = false;
    });
}

void RK_CALL Tierlock::SetEnable(int32_t key, bool enable) {
    CatchVoid([&] {
        const char16_t* word = enable ? u"True" : u"False";
        if (key == RKOPT_TIERLOCK_ENABLE) {
            m_isEnabled2 = enable;
            Log(LogLevel::Core, "Tierlock::SetEnable", u"key : %d  enable : %s", key, word);
            Log(LogLevel::Info, "Tierlock::SetEnable", u"RKOPT_TIERLOCK_ENABLE : %s", word);
        } else if (key == RKOPT_SERCUREAPI_IS_OPEN) {
            bSercureApiSwitch = enable ? 1 : 0;
            Log(LogLevel::Core, "Tierlock::SetEnable",
                u"RKOPT_SERCUREAPI_IS_OPEN bSercureApiSwitch = %d", bSercureApiSwitch.load());
        }
    });
}

int32_t RK_CALL Tierlock::FirstProcessEvent(void*, void*) {
    Log(LogLevel::Info, "Tierlock::FirstProcessEvent", u" need not proced");
    return 0;
}

int32_t RK_CALL Tierlock::PreProcessEvent(void*, void*) {
    Log(LogLevel::Info, "Tierlock::PreProcessEvent", u" need not proced");
    return 0;
}

int32_t RK_CALL Tierlock::PostProcessEvent(void*, void*) {
    Log(LogLevel::Info, "Tierlock::PostProcessEvent", u" need not proced");
    return 0;
}

int32_t RK_CALL Tierlock::LastProcessEvent(IRkRuleEvent*, IRkRuleEngine*) {
    // Event evaluation arrives with the engine; until then every event is left undecided.
    return 0;
}

bool RK_CALL Tierlock::AfterProcessEvent(void*, void*, void*) {
    Log(LogLevel::Info, "Tierlock::AfterProcessEvent", u" need not proced");
    return false;
}

}  // namespace tierlock
