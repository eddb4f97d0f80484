#include "engine/popup_request.h"

#include "abi/host_ref.h"
#include "abi/report_records.h"
#include "log/log.h"
#include "report/request_bundle.h"

namespace tierlock {
namespace {

// The pop-up and its answer are lines of the event hook that asks for them.
constexpr char kTag[] = "Tierlock::LastProcessEvent";
// The host's kind for the request bundle and its synchronous pop-up mode.
constexpr int32_t kAttachRequest = 2;
constexpr int32_t kPopWndSynchronous = 1;

}  // namespace

int32_t RequestPopup(const ReportSources& sources, const ProcessSource& processes,
                     IRkRuleEvent* event, RkEventRecord& record, IRkRuleTarget* target,
                     const CandidateRules& candidates, int32_t index, const std::string& popwnd) {
    if (index < 0 || static_cast<size_t>(index) >= candidates.size()) {
        return kVerdictNone;  // the matching never hands out such an index
    }
    const uint32_t reportType = candidates[static_cast<size_t>(index)]->report_type;
    HostRef<IRkBundle> request;
    if (!BuildPopupRequest(sources, processes, event, record, target, reportType, popwnd,
                           request)) {
        return kVerdictNone;
    }

    event->AttachBundle(kAttachRequest, request.Get());
    int32_t answer = 0;
    bool ret = false;
    if (IRkFramework* frame = g_pFrame.Get()) {
        ret = frame->PopWnd(event, kPopWndSynchronous, &answer);
    }
    const bool userBlock = answer == kPopWndAnswerBlock;
    Log(LogLevel::Info, kTag, u"处置1.同步弹窗上报返回：ret=%d, userBlock=%d.插件返回BLOCK",
        ret ? 1 : 0, userBlock ? 1 : 0);
    Log(LogLevel::Info, kTag, u"g_pFrame->PopWnd called");
    return userBlock ? kVerdictBlock : kVerdictShown;
}

}  // namespace tierlock
