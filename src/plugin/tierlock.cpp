#include "plugin/tierlock.h"

#include "log/log.h"
#include "platform/platform.h"
#include "plugin/boundary.h"
#include "proctree/proctree.h"
#include "rules/rules.h"

namespace tierlock {

std::atomic<uint8_t> bSercureApiSwitch{1};

namespace {
constexpr const char* kInitTag = "Tierlock::Init";
}  // namespace

bool RK_CALL Tierlock::Init(IRkFramework* pFramework, const char* config, int32_t configLength) {
    return CatchReturn(false, [&] {
        if (!pFramework) {
            Log(LogLevel::Error, kInitTag, u"Parameter error,pFramework=nullptr");
            return false;
        }
        if (m_isInited) {
            return true;
        }
        g_pFrame.store(pFramework, std::memory_order_release);
        // The rules start over; the match modes stay unless the text configures them again.
        const std::shared_ptr<const RuleSet> previous = m_ruleSet.load();
        // A null text with a length would be read out of bounds: it counts as no configuration.
        if (configLength > 0 && config) {
            LoadConfiguration(std::string_view(config, static_cast<size_t>(configLength)),
                              previous.get());
        } else {
            m_ruleSet.store(RuleSet::WithoutRules(previous.get()));
        }
        QueryServices(pFramework);

        const std::optional<uint16_t> architecture = platform::NativeProcessorArchitecture();
        m_isWin64 = architecture && *architecture == platform::kArchitectureAmd64;
        Log(LogLevel::Info, kInitTag, u"GetIsWin64=%d", m_isWin64 ? 1 : 0);

        m_isInited = true;
        Log(LogLevel::Info, kInitTag, u"Init ok");
        return true;
    });
}

void Tierlock::LoadConfiguration(std::string_view config, const RuleSet* previous) {
    ParsedOptions options;
    bool parsed = false;
    m_ruleSet.store(RuleSet::Parse(config, previous, options, parsed));
    if (!parsed) {
        Log(LogLevel::Error, kInitTag, u"ParseOption Fail");
    }
    if (options.enable) {
        m_isEnabled = *options.enable;
    }
    Log(LogLevel::Info, kInitTag, u"config;%s", Utf8ToUtf16(config));
}

namespace {

// Stores a service handed out by a query. The query's reference becomes the one we hold; when
// the same object is already held, the extra reference is given back.
template <class Service>
void KeepQueried(HostRef<Service>& held, Service* queried) {
    if (queried != held.Get()) {
        held.Adopt(queried);
    } else if (queried) {
        queried->Release();
    }
}

}  // namespace

void Tierlock::QueryServices(IRkFramework* frame) {
    if (frame->QueryInterface(&IID_IRKCACHE, m_spCache.ResetAndReceive()) != RK_S_OK) {
        Log(LogLevel::Error, kInitTag, u"Init query IID_IRKCACHE error");
    }

    // The cloud engine is held without a reference of its own.
    if (frame->QueryInterface(&IID_IRKEngCloudV2, reinterpret_cast<void**>(&m_spEngCloudV2)) < 0 ||
        !m_spEngCloudV2) {
        Log(LogLevel::Error, kInitTag, u"Init query IID_IRKEngCloudV2 error");
    }

    IRKMisKillingQuery_V2* queryV2 = nullptr;
    if (frame->QueryInterface(&IID_IRKMisKillingQuery_V2, reinterpret_cast<void**>(&queryV2)) ==
        RK_S_OK) {
        KeepQueried(m_spMisKillingQueryV2, queryV2);
    } else {
        // A failed query that still handed out an object must not leak it.
        if (queryV2) {
            queryV2->Release();
        }
        Log(LogLevel::Error, kInitTag, u"query IID_IRKMisKillingQuery_V2 failed");
        IRKMisKillingQuery* queryV1 = nullptr;
        frame->QueryInterface(&IID_IRKMisKillingQuery, reinterpret_cast<void**>(&queryV1));
        if (!queryV1) {
            Log(LogLevel::Error, kInitTag, u"Init query IID_IRKMisKillingQuery failed");
        }
        KeepQueried(m_spMisKillingQuery, queryV1);
    }

    frame->QueryInterface(&IID_IRKProcTreeV3Ctrl, m_ProcTree.ResetAndReceive());
    const int32_t helperStatus = frame->QueryInterface(&IID_IRKProcessTreeHelperCtrl,
                                                       m_spProcTreeHelperCtrl.ResetAndReceive());
    if (helperStatus < 0 || !m_ProcTree || !m_spProcTreeHelperCtrl) {
        Log(LogLevel::Error, kInitTag,
            u"query_interface IRKProcTreeV3Ctrl AND IRKProcessTreeHelperCtrl fail");
        return;
    }
    rkProcTreeHelper::GetInstance()->init(m_ProcTree.Get(), m_spProcTreeHelperCtrl.Get());
    Log(LogLevel::Info, kInitTag, u"query_interface IRKProcTreeV3Ctrl Success,m_ProcTree=0x%X",
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m_ProcTree.Get())));
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
