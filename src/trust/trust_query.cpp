#include "trust/trust_query.h"

#include <string>

#include "bundle/as_common_bundle.h"
#include "bundle/bundle_pool.h"
#include "platform/platform.h"

namespace tierlock {
namespace {

// The caller's column, in the order the service expects the keys.
void PutParameters(ASCommonBundle& bundle, const TrustQuery& query) {
    ASCommonBundle::Number numbers[8];
    size_t count = 0;
    auto put = [&](const char* key, uint32_t type, uint64_t value) {
        numbers[count++] = {key, type, value};
    };
    const bool namesProcess = query.caller != TrustCaller::FileLevel;
    if (query.caller == TrustCaller::TargetList) {
        put("force_real_query", RK_BUNDLE_INT, 1);
    }
    put("sync_scan", RK_BUNDLE_INT, 1);
    const bool sendsSubLevel =
        query.caller == TrustCaller::ChainSigner || query.caller == TrustCaller::TargetList;
    put("sublevel", RK_BUNDLE_INT, sendsSubLevel ? static_cast<uint32_t>(query.subLevel) : 0u);
    put("isSysFile", RK_BUNDLE_INT, 0);
    put("update_process_level", RK_BUNDLE_INT, namesProcess ? 1u : 0u);
    if (namesProcess) {
        put("process_id", RK_BUNDLE_INT, query.processId);
        put("process_create_time", RK_BUNDLE_INT64, query.processCreateTime);
    }
    put("match_type", RK_BUNDLE_INT, query.mask);
    bundle.PutNumbers(numbers, count);
}

}  // namespace

TrustAnswer QueryTrust(const TrustServices& services, const char16_t* path,
                       const TrustQuery& query) {
    TrustAnswer answer;
    if (!HasTrustService(services)) {
        return answer;
    }
    answer.sentPath = path ? path : u"";
    if (services.isWin64 && platform::MentionsSysnative(answer.sentPath)) {
        answer.mapped = platform::SysnativeToSystem32(answer.sentPath, answer.mappedPath);
    }
    const char16_t* queryPath = answer.path();
    if (services.queryV2) {
        // One bundle per caller kind keeps its key set, so a reused one only takes new values.
        const PooledBundle parameters(static_cast<size_t>(query.caller));
        if (!parameters) {
            return answer;  // no parameter set: counts as not answered
        }
        PutParameters(*parameters.Own(), query);
        answer.matchType = 0;
        answer.answered = services.queryV2->IsCanSkipReport(queryPath, parameters.Get(),
                                                            &answer.skip, &answer.matchType);
        return answer;
    }
    const int32_t subLevel = query.caller == TrustCaller::TargetList ? query.subLevel : 0;
    answer.matchType = query.mask;
    answer.answered =
        services.queryV1->IsCanSkipReport(queryPath, subLevel, 0, &answer.skip, &answer.matchType);
    return answer;
}

}  // namespace tierlock
