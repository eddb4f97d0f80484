#include "trust/trust_query.h"

#include <string>

#include "bundle/bundle_pool.h"
#include "platform/platform.h"

namespace tierlock {
namespace {

// The caller's column, in the order the service expects the keys.
void PutParameters(IASBundle* bundle, const TrustQuery& query) {
    const bool namesProcess = query.caller != TrustCaller::FileLevel;
    if (query.caller == TrustCaller::TargetList) {
        bundle->PutInt("force_real_query", 1);
    }
    bundle->PutInt("sync_scan", 1);
    const bool sendsSubLevel =
        query.caller == TrustCaller::ChainSigner || query.caller == TrustCaller::TargetList;
    bundle->PutInt("sublevel", sendsSubLevel ? static_cast<uint32_t>(query.subLevel) : 0u);
    bundle->PutInt("isSysFile", 0);
    bundle->PutInt("update_process_level", namesProcess ? 1u : 0u);
    if (namesProcess) {
        bundle->PutInt("process_id", query.processId);
        bundle->PutInt64("process_create_time", static_cast<uint32_t>(query.processCreateTime),
                         static_cast<uint32_t>(query.processCreateTime >> 32));
    }
    bundle->PutInt("match_type", query.mask);
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
        PutParameters(parameters.Get(), query);
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
