#include "engine/popup_request.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "abi/host_ref.h"
#include "abi/report_records.h"
#include "bundle/bundle.h"
#include "log/log.h"
#include "proctree/proctree.h"

namespace tierlock {
namespace {

constexpr char kTag[] = "Tierlock::RequestPopup";
// The host's kind for the request bundle and its synchronous pop-up mode.
constexpr int32_t kAttachRequest = 2;
constexpr int32_t kPopWndSynchronous = 1;

void SetInt32(IRkBundle* bundle, const char16_t* key, uint32_t value) {
    bundle->SetValue(key, &value, sizeof(value), kTagInt32);
}

// An empty text is refused by the bundle, so its key stays absent; so does a text too long to
// state its size in 32 bits.
void SetText(IRkBundle* bundle, const char16_t* key, const void* data, size_t bytes, uint32_t tag) {
    if (bytes > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        return;
    }
    bundle->SetValue(key, data, static_cast<int32_t>(bytes), tag);
}

// The acting process's creation time as the host recorded it for this event; 0 when the
// record's layout has no extra properties or they lack it.
uint64_t ActingCreateTime(const RkEventRecord& record) {
    if (record.recordSize != kRecordSizeWithExtBundle || !record.extBundle) {
        return 0;
    }
    uint64_t value = 0;
    if (record.extBundle->GetInt64("real_current_pid_time", &value) != RK_S_OK) {
        return 0;  // a failed read may still have written
    }
    return value;
}

// The parent the host knows for the acting process now, from the event's cache or else the
// process tree; 0 when neither knows it.
uint32_t CurrentParentId(IRkRuleTarget* target, uint32_t pid, const uint64_t& createTime) {
    if (IRKProcessTreeCache* cache = GetRKProcessTreeCache(target)) {
        RkProcessInfoRecord info{};
        return cache->GetProcessInfo(pid, &createTime, &info) ? info.parentProcessId : 0;
    }
    uint32_t parent = 0;
    return rkProcTreeHelper::GetInstance()->GetPPidByPid(pid, &createTime, parent) ? parent : 0;
}

}  // namespace

int32_t RequestPopup(const ReportContext& context, IRkRuleEvent* event, RkEventRecord& record,
                     IRkRuleTarget* target, const CandidateRules& candidates, int32_t index,
                     const std::string& popwnd) {
    if (index < 0 || static_cast<size_t>(index) >= candidates.size()) {
        return kVerdictNone;  // the matching never hands out such an index
    }
    HostRef<IRkBundle> bundle;
    if (IRkBundle* created = nullptr; CreateRkBundle(&created) == RK_S_OK && created) {
        bundle.Adopt(created);
    } else {
        Log(LogLevel::Info, kTag, u"Create Bundle instance failed");
        return kVerdictNone;
    }

    const uint32_t guardType = static_cast<uint32_t>(target->GetGuardType());
    const uint32_t operatorType = static_cast<uint32_t>(target->GetOperatorType());
    const std::u16string processPath = ConvertFilePath(record.ProcessPath);
    const std::u16string_view processCmd = record.ProcessCmd ? record.ProcessCmd : u"";

    const uint64_t createTime = ActingCreateTime(record);
    const uint32_t parent = CurrentParentId(target, record.ProcessId, createTime);
    if (parent != 0 && parent != record.PPID) {
        Log(LogLevel::Info, kTag, u"Fixed PPID : %d  PPID : %d", parent, record.PPID);
        record.PPID = parent;
    }

    SetInt32(bundle.Get(), u"GuardType", guardType);
    SetInt32(bundle.Get(), u"OperatorType", operatorType);
    SetInt32(bundle.Get(), u"ProcessId", record.ProcessId);
    bundle->SetValue(u"ProcessCreatetime", &createTime, sizeof(createTime), kTagInt64);
    SetText(bundle.Get(), u"ProcessPath", processPath.data(), processPath.size() * sizeof(char16_t),
            kTagWideText);
    SetText(bundle.Get(), u"ProcessCmd", processCmd.data(), processCmd.size() * sizeof(char16_t),
            kTagWideText);
    SetInt32(bundle.Get(), u"WaitId", 0);
    Log(LogLevel::Core, kTag, u"GuardType=%d,OperatorType=%d,ProcessId=%d,ProcessPath=%s",
        guardType, operatorType, record.ProcessId, processPath);

    RuleInfoBlock ruleInfo;
    std::memset(&ruleInfo, 0, sizeof(ruleInfo));
    ruleInfo.engType = kRuleInfoEngType;
    ruleInfo.GroupId = record.GroupId;
    ruleInfo.RuleId = record.uRuleId;
    bundle->SetValue(u"ruleInfo", &ruleInfo, sizeof(ruleInfo), kReportBlockTag);
    SetText(bundle.Get(), u"PopWin", popwnd.data(), popwnd.size(), kTagNarrowText);
    Log(LogLevel::Core, kTag, u"GroupId=%d,RuleId=%d, engType=%d", ruleInfo.GroupId,
        ruleInfo.RuleId, ruleInfo.engType);

    const uint32_t report_type = candidates[static_cast<size_t>(index)]->report_type;
    if (!SetTargetList(context, target, record, bundle.Get(), report_type)) {
        Log(LogLevel::Info, kTag, u"不存在风险项，无法进行报出");
        return kVerdictNone;
    }

    Log(LogLevel::Info, kTag, u"start SetChainNodeInfo");
    if (!SetChainNodeInfo_V2(target, record, event, bundle.Get())) {
        Log(LogLevel::Error, kTag, u"进程信息缓存中获取进程链失败使用进程树接口获取");
        SetChainNodeInfo(context, record, event, bundle.Get());
    }
    SetInt32(bundle.Get(), u"IsOutLog", 1);

    event->AttachBundle(kAttachRequest, bundle.Get());
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
