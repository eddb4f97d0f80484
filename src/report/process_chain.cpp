#include "report/process_chain.h"

#include <string>
#include <vector>

#include "abi/bundle.h"
#include "log/log.h"
#include "proctree/proctree.h"
#include "report/event_details.h"
#include "report/report_block.h"

namespace tierlock {
namespace {

constexpr const char* kCacheTag = "Tierlock::SetChainNodeInfo_V2";
constexpr const char* kTreeTag = "Tierlock::SetChainNodeInfo";

// Writes the path of one chain process into its entry. False, with the entry left zero, when
// the process has no id or no path.
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
    const std::u16string converted = ConvertFilePath(std::u16string(path).c_str());
    CopyTextField(entry.path, std::u16string_view(converted).substr(0, kChainPathChars));
    return true;
}

void PutChainLevel(const char* tag, uint32_t pid, int32_t level, ProcessChainEntry& entry) {
    entry.level = level;
    Log(LogLevel::Info, tag, u"上报进程链信息：pid=%u, path=%s, level=%d", pid,
        std::u16string(FieldText(entry.path)), level);
}

void StoreChain(const char* tag, IRkBundle* bundle, const ProcessChainBlock& block) {
    const int32_t status =
        bundle ? bundle->SetValue(kProcessChainKey, block.data(), block.size(), kReportBlockTag)
               : RK_E_INVALIDARG;
    if (status != RK_S_OK) {
        Log(LogLevel::Info, tag, u"设置进程链信息错误：rkbundle error:%u", status);
    }
}

}  // namespace

uint32_t ChainProcessId(const RkEventRecord& record) {
    // Only a process event carries the created process's id there.
    if (record.Class == kClassProcess && record.operation == kProcessCreate) {
        return record.TargetProcessId;
    }
    return record.ProcessId;
}

bool SetChainNodeInfo_V2(IRkRuleTarget* target, const RkEventRecord& record, IRkRuleEvent*,
                         IRkBundle* bundle) {
    IRKProcessTreeCache* cache = GetRKProcessTreeCache(target);
    if (!cache) {
        Log(LogLevel::Error, kCacheTag, u"获取进程信息缓存接口失败");
        return false;
    }
    rkProcessTreeCacheHelper helper(cache);
    std::vector<RkProcessInfoRecord> chain;
    if (!helper.GetChainRecords(ChainProcessId(record), chain)) {
        Log(LogLevel::Error, kCacheTag, u"获取进程链失败");
        return true;
    }
    if (chain.empty()) {
        Log(LogLevel::Info, kCacheTag, u"进程链无节点");
        return true;
    }
    ProcessChainBlock block(chain.size());
    if (!block) {
        Log(LogLevel::Info, kCacheTag, u"ProcessChain内存申请失败");
        return true;
    }
    for (size_t i = 0; i < chain.size(); ++i) {
        const RkProcessInfoRecord& process = chain[i];
        if (!PutChainPath(kCacheTag, process.processId, FieldText(process.imagePath),
                          block.entry(i))) {
            continue;
        }
        int32_t level = kChainLevelUnknown;
        int32_t subLevel = 0;
        helper.GetProcessLevel(process.processId, &process.createTime, level, subLevel);
        PutChainLevel(kCacheTag, process.processId, level, block.entry(i));
    }
    StoreChain(kCacheTag, bundle, block);
    return true;
}

void SetChainNodeInfo(const ReportContext& context, const RkEventRecord& record,
                      IRkRuleEvent* event, IRkBundle* bundle) {
    IRKProcTreeV3Ctrl* tree = context.procTree;
    IRKProcessTreeHelperCtrl* helperCtrl = context.procTreeHelperCtrl;
    if (!tree || !helperCtrl) {
        Log(LogLevel::Error, kTreeTag, u"GetProcTree Fail");
        return;
    }
    const uint32_t pid = ChainProcessId(record);
    uint64_t createTime = 0;
    const auto* current = event ? static_cast<const RkEventRecord*>(event->GetRecord()) : nullptr;
    // The recorded time is the acting process's: a created process is found by its id alone,
    // since its own time paired with another process's would match no process at all.
    if (pid == record.ProcessId && current && current->recordSize == kRecordSizeWithExtBundle &&
        current->extBundle) {
        current->extBundle->GetInt64("real_current_pid_time", &createTime);
        Log(LogLevel::Info, kTreeTag, u"pid=%d create_time=%llu", pid, createTime);
    }

    rkProcTreeHelper* helper = rkProcTreeHelper::GetInstance();
    uint32_t root = 0;
    uint32_t node = 0;
    std::vector<uint32_t> handles;
    if (tree->GetChainNodes(pid, &createTime, &root, &node) && root != 0) {
        helper->GetAllNodePtr(root, node, handles);
        Log(LogLevel::Info, kTreeTag, u"成功获取到的进程链信息，节点数：%d", handles.size());
    } else {
        Log(LogLevel::Error, kTreeTag, u"获取进程链失败");
    }

    if (!handles.empty()) {
        ProcessChainBlock block(handles.size());
        if (!block) {
            Log(LogLevel::Info, kTreeTag, u"ProcessChain内存申请失败");
        } else {
            for (size_t i = 0; i < handles.size(); ++i) {
                uint32_t processId = 0;
                helperCtrl->GetNodePid(root, node, handles[i], &processId);
                std::u16string path;
                if (processId != 0) {
                    helper->GetPathByNodeOffset(root, node, handles[i], processId, context.isWin64,
                                                path);
                }
                if (!PutChainPath(kTreeTag, processId, path, block.entry(i))) {
                    continue;
                }
                int32_t level = kChainLevelUnknown;
                helper->GetLevelAndSubByNodeOffset(root, node, handles[i], &level, nullptr);
                PutChainLevel(kTreeTag, processId, level, block.entry(i));
            }
            StoreChain(kTreeTag, bundle, block);
        }
    }
    if (root != 0) {
        tree->ReleaseRoot(root);
    }
}

}  // namespace tierlock
