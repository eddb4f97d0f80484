#include "plugin/tierlock.h"

#include <utility>

#include "abi/boundary.h"
#include "abi/report_records.h"
#include "engine/engine.h"
#include "log/log.h"
#include "platform/platform.h"
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
        g_pFrame.Assign(pFramework);
        // The rules start over; the match modes stay unless the text configures them again.
        {
            const RuleSetHolder::Pin previous = ruleSet();
            // A null text with a length would be read out of bounds: it counts as no
            // configuration.
            if (configLength > 0 && config) {
                LoadConfiguration(std::string_view(config, static_cast<size_t>(configLength)),
                                  &*previous);
            } else {
                Publish(RuleSet::WithoutRules(&*previous));
            }
        }
        m_ruleSet.Reclaim();  // the previous set, which Init itself held while publishing
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
    Publish(RuleSet::Parse(config, previous, options, parsed));
    if (!parsed) {
        Log(LogLevel::Error, kInitTag, u"ParseOption Fail");
    }
    if (options.enable) {
        m_isEnabled = *options.enable;
    }
    Log(LogLevel::Info, kInitTag, u"config;%s", Utf8ToUtf16(config));
}

void Tierlock::Publish(std::shared_ptr<const RuleSet> ruleSet) {
    const RuleSet& published = *ruleSet;  // the holder keeps it alive from here on
    m_candidateFilter.Widen(published);
    m_ruleSet.Publish(std::move(ruleSet));
    m_candidateFilter.Narrow(published);
}

void Tierlock::QueryServices(IRkFramework* frame) {
    if (m_spCache.Query(frame, IID_IRKCACHE) != RK_S_OK) {
        Log(LogLevel::Error, kInitTag, u"Init query IID_IRKCACHE error");
    }

    if (m_spEngCloudV2.Query(frame, IID_IRKEngCloudV2) < 0 || !m_spEngCloudV2) {
        Log(LogLevel::Error, kInitTag, u"Init query IID_IRKEngCloudV2 error");
    }

    // Only a successful answer replaces the second version held so far; a failed query that
    // still handed out an object gives it back.
    HostRef<IRKMisKillingQuery_V2> queryV2;
    if (queryV2.Query(frame, IID_IRKMisKillingQuery_V2) == RK_S_OK) {
        m_spMisKillingQueryV2.Adopt(queryV2.Detach());
    } else {
        queryV2.Reset();
        Log(LogLevel::Error, kInitTag, u"query IID_IRKMisKillingQuery_V2 failed");
        m_spMisKillingQuery.Query(frame, IID_IRKMisKillingQuery);
        if (!m_spMisKillingQuery) {
            Log(LogLevel::Error, kInitTag, u"Init query IID_IRKMisKillingQuery failed");
        }
    }

    m_ProcTree.Query(frame, IID_IRKProcTreeV3Ctrl);
    const int32_t helperStatus = m_spProcTreeHelperCtrl.Query(frame, IID_IRKProcessTreeHelperCtrl);
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
        m_ruleSet.Reclaim();
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

int32_t RK_CALL Tierlock::LastProcessEvent(IRkRuleEvent* event, IRkRuleEngine* ruleEng) {
    return CatchReturn(kVerdictNone, [&] {
        constexpr char kTag[] = "Tierlock::LastProcessEvent";
        if (!m_isInited) {
            Log(LogLevel::Error, kTag, u"please reinitialize");
            return kVerdictNone;
        }
        const bool enabled = m_isEnabled;
        const bool enabled2 = m_isEnabled2;
        if (!enabled || !enabled2) {
            Log(LogLevel::Info, kTag, u" has been disabled  m_isEnabled : %d  m_isEnabled2 : %d",
                enabled ? 1 : 0, enabled2 ? 1 : 0);
            return kVerdictNone;
        }
        const AdmittedEvent admitted = AdmitEvent(event, ruleEng);
        if (!admitted) {
            return kVerdictNone;
        }
        if (!m_candidateFilter.MayHaveCandidates(static_cast<uint32_t>(admitted.record->Class),
                                                 admitted.record->uRuleId)) {
            return DeclineEvent();
        }
        const RuleSetHolder::Pin rules = ruleSet();
        return EvaluateEvent(*rules, Services(), event, admitted);
    });
}

EventServices Tierlock::Services() const {
    EventServices services;
    const bool isWin64 = m_isWin64.load();
    services.report.trust = {m_spMisKillingQueryV2.Get(), m_spMisKillingQuery.Get(), isWin64};
    services.report.digests.cache = m_spCache.Get();
    services.cloud = m_spEngCloudV2.Get();
    services.tree = {m_ProcTree.Get(), m_spProcTreeHelperCtrl.Get(), isWin64};
    return services;
}

bool RK_CALL Tierlock::AfterProcessEvent(void*, void*, void*) {
    Log(LogLevel::Info, "Tierlock::AfterProcessEvent", u" need not proced");
    return false;
}

}  // namespace tierlock
