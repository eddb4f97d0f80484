#include "report/target_list.h"

#include <string>

#include "abi/bundle.h"
#include "hostpath/host_path.h"
#include "log/log.h"
#include "report/event_details.h"
#include "report/report_block.h"
#include "report/target_items.h"

namespace tierlock {
namespace {

constexpr const char* kListTag = "Tierlock::SetTargetList";
constexpr const char* kItemTag = "Tierlock::BuildOneItem";

// Fallback masks by event class.
constexpr uint32_t kSourceItem = 1;
constexpr uint32_t kDestinationItem = 8;
constexpr uint32_t kDestinationItem16 = 16;
constexpr uint32_t kParentItem = 4;
constexpr uint32_t kThreadModuleItem = 32;
// Destination items: types 8 and 16.
constexpr uint32_t kDestinationMask = kDestinationItem | kDestinationItem16;
// The process-event operation whose risk is the type-16 item, and the file operation with two
// extra paths.
constexpr int32_t kProcessOperationWithItem16 = 9;
constexpr int32_t kFileOperationWithTwoPaths = 3;

// True when the trust service vouches for the item: answered, skip flag set and a match of
// user trust or white signature.
bool IsVouchedFor(const TrustServices& trust, CreateTimeReader readCreateTime,
                  const RkItemRecord* item) {
    const char16_t* path = ScanItemPath(item);
    TrustQuery query{TrustCaller::TargetList, kMatchEither};
    query.subLevel = item->scanItem ? item->scanItem->GetSubLevel() : 0;
    query.processId = item->processId;
    // Only the second version sends a creation time; reading it may open the process.
    uint64_t createTime = 0;
    if (trust.queryV2 && readCreateTime && readCreateTime(item->processId, &createTime)) {
        query.processCreateTime = createTime;
    }
    const TrustAnswer answer = QueryTrust(trust, path, query);
    const bool vouched = answer.answered && answer.skip != 0 && answer.Matches(kMatchEither);
    Log(LogLevel::Info, kListTag,
        vouched ? u"用户白名单 或 白签名，不报出. FilePath : %s"
                : u"非用户白名单 或 白签名，报出. FilePath : %s",
        answer.path());  // the path asked about: on a 64-bit system, its system32 form
    return vouched;
}

}  // namespace

void GetReportDangerList(IRkRuleTarget* target, const RkEventRecord& record, uint32_t report_type,
                         std::vector<RkItemRecord*>& list) {
    if (report_type != 0) {
        Log(LogLevel::Info, "Tierlock::GetReportDangerList", u"GetReportDangerList report_type=%d",
            report_type);
        GetTargetItemByType(target, report_type, list);
    }
    if (!list.empty()) {
        return;
    }
    switch (record.Class) {
        case kClassFile:
        case kClassRegistry:
            GetTargetItemByType(target, kSourceItem, list);
            break;
        case kClassProcess:
            GetTargetItemByType(target,
                                record.operation == kProcessOperationWithItem16 ? kDestinationItem16
                                                                                : kDestinationItem,
                                list);
            break;
        default:
            break;
    }
}

bool SetTargetList(const ReportSources& sources, IRkRuleTarget* target, const RkEventRecord& record,
                   IRkBundle* bundle, uint32_t report_type) {
    if (!target) {
        Log(LogLevel::Error, kListTag, u"GetTarget Fail");
        return false;
    }
    std::vector<RkItemRecord*> danger;
    GetReportDangerList(target, record, report_type, danger);
    Log(LogLevel::Info, kListTag, u"GetReportDangerList Success size=%d", danger.size());
    if (danger.empty()) {
        Log(LogLevel::Error, kListTag, u"SetTargetList 没找到风险项");
        return false;
    }
    const TrustServices& trust = sources.trust;
    if (HasTrustService(trust)) {
        std::erase_if(danger, [&](const RkItemRecord* item) {
            return IsVouchedFor(trust, sources.readCreateTime, item);
        });
        if (danger.empty()) {
            Log(LogLevel::Error, kListTag, u"过白后风险项为空");
            return false;
        }
    }

    std::vector<RkItemRecord*> destinations;
    GetTargetItemByType(target, kDestinationMask, destinations);
    const bool registry = record.Class == kClassRegistry;
    const size_t count = destinations.size() + danger.size() + (registry ? 1 : 0);
    Log(LogLevel::Info, kListTag, u"targetList.size=%d type=%d", count, report_type);

    TargetListBlock block(count);
    if (!block) {
        return true;  // nothing to store; the event is still reported
    }
    size_t k = 0;
    for (const RkItemRecord* item : destinations) {
        BuildOneItem(sources.digests, record, item, block.entry(k++), false);
    }
    if (registry) {
        BuildOneItem(sources.digests, record, nullptr, block.entry(k++), false);
    }
    for (const RkItemRecord* item : danger) {
        BuildOneItem(sources.digests, record, item, block.entry(k++), true);
    }
    const int32_t status =
        bundle ? bundle->SetValue(kTargetListKey, block.data(), block.size(), kReportBlockTag)
               : RK_E_INVALIDARG;
    if (status != RK_S_OK) {
        Log(LogLevel::Error, kListTag, u"BuildTargetList rkbundle set error:%d", status);
    }
    return true;
}

bool BuildOneItem(const DigestSources& digests, const RkEventRecord& record,
                  const RkItemRecord* item, TargetListEntry& entry, bool danger) {
    entry.handlingType = 0;
    std::u16string label;
    std::u16string detail;
    std::u16string md5Text;
    std::u16string sha1Text;
    const char16_t* kind = u"";
    switch (record.Class) {
        case kClassFile:
            kind = u"fd";
            if (item) {
                SetTargetItemInfo(danger, record, item, entry);
                SetCommInfo(digests, item, entry, md5Text, sha1Text);
            }
            break;
        case kClassRegistry:
            kind = u"rd";
            if (!danger) {
                SetRegInfo(record, item, entry, detail);
            } else if (item) {
                SetTargetItemInfo(danger, record, item, entry);
                SetCommInfo(digests, item, entry, md5Text, sha1Text);
            }
            break;
        case kClassProcess:
            if (item) {
                kind = u"ad";
                SetCommInfo(digests, item, entry, md5Text, sha1Text);
            }
            if (record.operation == kProcessCreate) {
                SetProcessCreateInfo(label, danger, record, item, entry);
            } else {
                SetTargetItemInfo(danger, record, item, entry);
            }
            break;
        default:
            break;
    }

    // A label set by a detail writer keeps the handling of a target. A process or file detail
    // is formatted straight into its line; only the registry's is text of its own.
    enum class Detail { Text, Process, File } detailKind = Detail::Text;
    uint32_t handling = kHandlingTarget;
    switch (entry.targetType & ~kTargetTypeFlag) {
        case kTargetProcess:
        case kDangerProcess:
            detailKind = Detail::Process;
            if (label.empty()) {
                label = danger ? u"风险进程" : u"目标进程";
                handling = danger ? kHandlingDangerProcess : kHandlingTarget;
            }
            break;
        case kTargetFile:
        case kDangerFile:
            detailKind = Detail::File;
            if (label.empty()) {
                label = danger ? u"风险文件" : u"目标文件";
                handling = danger ? kHandlingDangerFile : kHandlingTarget;
            }
            break;
        case kTargetRegistry:
            label = danger ? u"风险注册表" : u"目标注册表";
            handling = danger ? kHandlingDangerRegistry : kHandlingTarget;
            break;
        default:
            break;
    }

    if (item) {
        IRKScanItem* scanItem = item->scanItem;
        entry.engineKind = item->engineKind;
        entry.handlingType = handling;
        if (item->engineKind == kEngineKindWithRisk && scanItem) {
            entry.engineId = scanItem->GetEngineId();
            entry.riskType = scanItem->GetRiskType();
        }
        const char16_t* riskName = scanItem ? scanItem->GetRiskName() : nullptr;
        // The scan item's buffer is never shorter than the field and may hold a name pair.
        if (riskName && riskName[0]) {
            CopyWholeTextField(entry.riskName, riskName);
        } else {
            CopyTextField(entry.riskName, kDefaultRiskName);
        }
    }

    switch (detailKind) {
        case Detail::Process:
            Log(LogLevel::Core, kItemTag, u"%s添加%s:pid=%d, ppid=%d,process=%s", kind, label,
                entry.process.processId, entry.process.parentProcessId,
                FieldText(entry.process.imagePath));
            break;
        case Detail::File:
            Log(LogLevel::Core, kItemTag, u"%s添加%s:path=%s", kind, label,
                FieldText(entry.file.filePath));
            break;
        case Detail::Text:
            Log(LogLevel::Core, kItemTag, u"%s添加%s:%s", kind, label, detail);
            break;
    }
    if (danger) {
        Log(LogLevel::Core, kItemTag,
            u"\t\t\t引擎类型=%d, 引擎id=%d,目标类型=%x, 处理类型=%d, 风险名=%s，风险类型=%d",
            entry.engineKind, entry.engineId, entry.targetType, entry.handlingType,
            FieldText(entry.riskName), entry.riskType);
    }
    Log(LogLevel::Core, kItemTag, u"\t\t\t文件等级=%d, md5=%s, sha1=%s", entry.fileLevel, md5Text,
        sha1Text);
    return true;
}

void SetTargetItemInfo(bool danger, const RkEventRecord& record, const RkItemRecord* item,
                       TargetListEntry& entry) {
    if (!item) {
        return;
    }
    switch (item->type) {
        case kDestinationItem:
        case kDestinationItem16:
            entry.targetType = (danger ? kDangerFile : kTargetFile) | kTargetTypeFlag;
            CopyConvertedPath(entry.file.filePath, ScanItemPath(item));
            // Only a file event carries the two paths there; other events keep other values in
            // those places.
            if (record.Class == kClassFile && record.operation == kFileOperationWithTwoPaths) {
                CopyConvertedPath(entry.file.firstExtraPath, record.firstExtraPath);
                CopyConvertedPath(entry.file.secondExtraPath, record.secondExtraPath);
            }
            break;
        case kSourceItem:
            entry.targetType = danger ? kDangerProcess : kTargetProcess;
            entry.process.processId = record.ProcessId;
            entry.process.parentProcessId = record.PPID;
            CopyConvertedPath(entry.process.imagePath, record.ProcessPath);
            CopyTextField(entry.process.commandLine, record.ProcessCmd);
            break;
        case kParentItem:
            entry.targetType = danger ? kDangerProcess : kTargetProcess;
            entry.process.processId = record.PPID;
            entry.process.parentProcessId = 0;
            CopyConvertedPath(entry.process.imagePath, ScanItemPath(item));
            break;
        case kThreadModuleItem:
            entry.targetType = danger ? kDangerFile : kTargetFile;
            CopyConvertedPath(entry.file.filePath, ScanItemPath(item));
            break;
        default:
            break;
    }
}

}  // namespace tierlock
