#include "report/process_chain.h"

#include <string>
#include <vector>

#include "abi/bundle.h"
#include "hostpath/host_path.h"
#include "log/log.h"
#include "report/event_details.h"
#include "report/report_block.h"

namespace tierlock {
namespace {

// The cache route's lines keep the tag of the cache's own writer, the tree route's the other.
constexpr const char* kCacheTag = "Tierlock::SetChainNodeInfo_V2";
constexpr const char* kTreeTag = "Tierlock::SetChainNodeInfo";
// The fallback notice is a line of the request, so of the event hook.
constexpr const char* kRequestTag = "Tierlock::LastProcessEvent";

// Writes the path of one chain process into its entry. False, with the entry left zero, when
// the process has no id or no path. The path's text is terminated right after the view.
bool PutChainPath(const char* tag, uint32_t pid, std::u16string_view path,
                  ProcessChainEntry& entry) {
    if (pid == 0) {
        Log(LogLevel::Info, tag, u"ItemPid=0");
        return false;
    }
    if (path.empty()) {
        Log(LogLevel::Info, tag, u"上报进程链信息进程路径为空：pid=%u", pid);
        return false;
    }
    std::u16string converted;
    CopyTextField(entry.path,
                  ConvertFilePathView(path.data(), converted).substr(0, kChainPathChars));
    return true;
}

void PutChainLevel(const char* tag, uint32_t pid, int32_t level, ProcessChainEntry& entry) {
    entry.level = level;
    Log(LogLevel::Info, tag, u"上报进程链信息：pid=%u, path=%s, level=%d", pid,
        FieldText(entry.path), level);
}

void StoreChain(const char* tag, IRkBundle* bundle, const ProcessChainBlock& block) {
    const int32_t status =
        bundle ? bundle->SetValue(kProcessChainKey, block.data(), block.size(), kReportBlockTag)
               : RK_E_INVALIDARG;
    if (status != RK_S_OK) {
        Log(LogLevel::Info, tag, u"设置进程链信息错误：rkbundle error:%u", status);
    }
}

// The acting process's creation time as the record carries it again; the created process of a
// process-creation event is found by its id alone, since its own time paired with another
// process's would match no process at all.
uint64_t ChainCreateTime(uint32_t pid, const RkEventRecord& record, IRkRuleEvent* event) {
    uint64_t createTime = 0;
    const auto* current = event ? static_cast<const RkEventRecord*>(event->GetRecord()) : nullptr;
    if (pid == record.ProcessId && current && current->recordSize == kRecordSizeWithExtBundle &&
        current->extBundle) {
        current->extBundle->GetInt64("real_current_pid_time", &createTime);
        Log(LogLevel::Info, kTreeTag, u"pid=%d create_time=%llu", pid, createTime);
    }
    return createTime;
}

}  // namespace

uint32_t ChainProcessId(const RkEventRecord& record) {
    // Only a process event carries the created process's id there.
    if (record.Class == kClassProcess && record.operation == kProcessCreate) {
        return record.TargetProcessId;
    }
    return record.ProcessId;
}

void SetChainNodeInfo(const ProcessSource& processes, const RkEventRecord& record,
                      IRkRuleEvent* event, IRkBundle* bundle) {
    const ProcessRoute& route = processes.Route();
    const uint32_t pid = ChainProcessId(record);
    // One reference captured, so that the callback is held without an allocation.
    const struct {
        uint32_t pid;
        const RkEventRecord& record;
        IRkRuleEvent* event;
    } acting{pid, record, event};
    const ProcessChain chain(
        route, pid,
        ChainRequest{
            .cacheTag = kCacheTag,
            .treeTag = kTreeTag,
            .treeMissing = u"GetProcTree Fail",
            .failureEndsChain = true,
            .beforeTree =
                [] {
                    Log(LogLevel::Error, kCacheTag, u"获取进程信息缓存接口失败");
                    Log(LogLevel::Error, kRequestTag,
                        u"进程信息缓存中获取进程链失败使用进程树接口获取");
                },
            .treeCreateTime =
                [&acting] { return ChainCreateTime(acting.pid, acting.record, acting.event); }});
    if (!chain.found() || chain.size() == 0) {
        return;
    }
    ProcessChainBlock block(chain.size());
    if (!block) {
        Log(LogLevel::Info, chain.tag(), u"ProcessChain内存申请失败");
        return;
    }
    MemberPathText path;
    for (size_t i = 0; i < chain.size(); ++i) {
        const uint32_t processId = chain.Pid(i);
        std::u16string_view text(u"");
        if (processId != 0) {
            chain.Path(i, processId, path);
            text = path.view();
        }
        if (!PutChainPath(chain.tag(), processId, text, block.entry(i))) {
            continue;
        }
        int32_t level = kChainLevelUnknown;
        chain.Level(i, &level, nullptr);
        PutChainLevel(chain.tag(), processId, level, block.entry(i));
    }
    StoreChain(chain.tag(), bundle, block);
}

}  // namespace tierlock
