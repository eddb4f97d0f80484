#include "report/request_bundle.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "abi/report_records.h"
#include "bundle/bundle.h"
#include "hostpath/host_path.h"
#include "log/log.h"
#include "report/process_chain.h"
#include "report/target_list.h"

namespace tierlock {
namespace {

// Every line of the request belongs to the event hook that asks for it.
constexpr char kTag[] = "Tierlock::LastProcessEvent";

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

}  // namespace

bool BuildPopupRequest(const ReportSources& sources, const ProcessSource& processes,
                       IRkRuleEvent* event, RkEventRecord& record, IRkRuleTarget* target,
                       uint32_t reportType, const std::string& popwnd,
                       HostRef<IRkBundle>& request) {
    HostRef<IRkBundle> bundle;
    if (IRkBundle* created = nullptr; CreateRkBundle(&created) == RK_S_OK && created) {
        bundle.Adopt(created);
    } else {
        Log(LogLevel::Info, kTag, u"Create Bundle instance failed");
        return false;
    }

    const uint32_t guardType = static_cast<uint32_t>(target->GetGuardType());
    const uint32_t operatorType = static_cast<uint32_t>(target->GetOperatorType());
    std::u16string convertedPath;  // used only when the path names sysnative
    const std::u16string_view processPath = ConvertFilePathView(record.ProcessPath, convertedPath);
    const std::u16string_view processCmd = record.ProcessCmd ? record.ProcessCmd : u"";

    // The parent the host knows for the acting process now replaces the recorded one.
    const uint64_t createTime = ActingCreateTime(record);
    const uint32_t parent = processes.Route().ParentIdOf(record.ProcessId, createTime);
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

    if (!SetTargetList(sources, target, record, bundle.Get(), reportType)) {
        Log(LogLevel::Info, kTag, u"不存在风险项，无法进行报出");
        return false;
    }

    Log(LogLevel::Info, kTag, u"start SetChainNodeInfo");
    SetChainNodeInfo(processes, record, event, bundle.Get());
    SetInt32(bundle.Get(), u"IsOutLog", 1);
    request.Adopt(bundle.Detach());
    return true;
}

}  // namespace tierlock
