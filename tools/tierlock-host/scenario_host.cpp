#include "scenario_host.h"

#include <cstring>

#include "abi/bundle.h"
#include "abi/records.h"

namespace tierlock_host {
namespace {

using tierlock::kClassFile;
using tierlock::kClassProcess;
using tierlock::kClassRegistry;
// An event no pop-up may answer.
constexpr int32_t kAsynchronous = 1;
constexpr uint32_t kPropertyDangerous = 2;
constexpr uint32_t kPropertyPass = 4;
constexpr uint32_t kOperationCreateProcess = 1;
constexpr uint32_t kOperationTwoPaths = 3;

std::u16string Lower(std::u16string_view text) {
    std::u16string lowered(text);
    for (char16_t& c : lowered) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return lowered;
}

// kept: references the plug-in keeps for good by design.
template <class Object>
void CountObject(const std::string& name, const Object& object, std::vector<std::string>* lines,
                 uint32_t kept = 0) {
    if (object.refs() != kept) {
        lines->push_back(name + ": " + std::to_string(object.refs()) + " references held, " +
                         std::to_string(kept) + " expected");
    }
    if (object.underflows() != 0) {
        lines->push_back(name + ": released " + std::to_string(object.underflows()) +
                         " times more than referenced");
    }
}

}  // namespace

std::u16string FileKey(std::u16string_view path) {
    std::u16string key = Lower(path);
    const std::u16string alias = u"\\sysnative\\";
    if (size_t at = key.find(alias); at != std::u16string::npos) {
        key.replace(at, alias.size(), u"\\system32\\");
    }
    return key;
}

ScenarioCloud::ScenarioCloud(const std::vector<CloudAnswer>& answers, bool fails) : fails_(fails) {
    for (const CloudAnswer& answer : answers) {
        levels_[FileKey(answer.path)] = answer.level;
    }
}

bool RK_CALL ScenarioCloud::QueryItemList(IRKScanItem** items, IASBundle* params) {
    ++queries_;
    uint32_t count = 0;
    if (params) {
        params->GetInt("ItemCount", &count);
    }
    for (uint32_t i = 0; items && i < count; ++i) {
        IRKScanItem* item = items[i];
        if (!item) {
            continue;
        }
        const char16_t* path = item->GetPath();
        auto known = levels_.find(FileKey(path ? path : u""));
        const LevelPair level = known == levels_.end() ? LevelPair{} : known->second;
        item->SetLevel(level.level);
        item->SetSubLevel(level.subLevel);
    }
    return !fails_;
}

ScenarioTrust::ScenarioTrust(const std::vector<TrustAnswer>& answers) {
    for (const TrustAnswer& answer : answers) {
        answers_[FileKey(answer.path)] = answer;
    }
}

bool RK_CALL ScenarioTrust::IsCanSkipReport(const char16_t* path, IASBundle*, uint8_t* skip,
                                            uint32_t* matchType) {
    ++queries_;
    auto known = answers_.find(FileKey(path ? path : u""));
    if (known == answers_.end()) {
        return false;
    }
    if (skip) {
        *skip = known->second.skip ? 1 : 0;
    }
    if (matchType) {
        *matchType = known->second.matchType;
    }
    return true;
}

ScenarioHost::ScenarioHost(const Scenario& scenario)
    : scenario_(scenario),
      cloud_(scenario.cloudAnswers, scenario.cloudFails),
      trust_(scenario.trustAnswers) {
    framework_.Serve(IID_IRKCACHE, &fileInfo_);
    for (const FileDigests& file : scenario.files) {
        fileInfo_.AnswerFile(file.path, {file.md5, file.sha1});
    }
    if (scenario.offersCloud) {
        framework_.Serve(IID_IRKEngCloudV2, &cloud_);
    }
    if (scenario.offersTrust) {
        framework_.Serve(IID_IRKMisKillingQuery_V2, &trust_);
    }
    framework_.Serve(IID_IRKProcTreeV3Ctrl, tree_.ctrl());
    framework_.Serve(IID_IRKProcessTreeHelperCtrl, tree_.helper());

    // Every host keeps the process tree; a cache host also hands out its cache, holding the
    // same processes, with each event's target.
    std::map<uint32_t, simhost::NodeId> nodes;
    for (const ScenarioProcess& process : scenario.processes) {  // parents come first
        const simhost::NodeId parent = process.parent ? nodes.at(process.parent) : 0;
        const simhost::NodeId node =
            tree_.AddProcess({process.pid, process.path, process.createTime, 0}, parent);
        nodes[process.pid] = node;
        cache_.AddProcess(process.pid, process.createTime, process.parent, process.path);
        if (process.level) {
            tree_.SetInt32(node, "LEVEL", process.level->level);
            tree_.SetInt32(node, "SUB_LEVEL", process.level->subLevel);
            cache_.SetInt(process.pid, "LEVEL", process.level->level);
            cache_.SetInt(process.pid, "SUB_LEVEL", process.level->subLevel);
        }
        if (process.fixedLevel) {
            tree_.SetInt32(node, "FIX_LEVEL", process.fixedLevel->level);
            tree_.SetInt32(node, "FIX_SUB_LEVEL", process.fixedLevel->subLevel);
            tree_.SetUInt64(node, "FLVL_TTL", process.fixedUntil);
            cache_.SetInt(process.pid, "FIX_LEVEL", process.fixedLevel->level);
            cache_.SetInt(process.pid, "FIX_SUB_LEVEL", process.fixedLevel->subLevel);
            cache_.SetUInt64(process.pid, "FLVL_TTL", process.fixedUntil);
        }
    }
    // The cache answers a chain acting process first, up to the oldest ancestor, found through
    // the parents when asked rather than kept for every process.
    cache_.AnswerChainsFromParents();
    if (scenario.cacheHost) {
        simhost::CarryCacheIn(targetBundle_, &cache_);
    }
}

std::unique_ptr<EventObjects> ScenarioHost::MakeEvent(const ScenarioEvent& event) {
    auto objects = std::make_unique<EventObjects>();
    tierlock::RkEventRecord& record = objects->event.record;
    const ScenarioProcess& acting = *scenario_.FindProcess(event.process);
    record.Class = event.eventClass;
    record.operation = event.operation;
    record.syncMode = event.synchronous ? tierlock::kSyncModeSynchronous : kAsynchronous;
    record.uRuleId = event.ruleId;
    record.GroupId = event.groupId;
    record.ProcessId = acting.pid;
    record.PPID = event.reportedParent.value_or(acting.parent);
    record.ProcessPath = objects->Keep(acting.path);
    record.ProcessCmd = acting.commandLine.empty() ? nullptr : objects->Keep(acting.commandLine);
    objects->extBundle.PutInt64("real_current_pid_time", static_cast<uint32_t>(acting.createTime),
                                static_cast<uint32_t>(acting.createTime >> 32));
    record.extBundle = &objects->extBundle;

    if (event.eventClass == kClassFile && event.operation == kOperationTwoPaths) {
        if (event.extraPaths.size() > 0) {
            record.firstExtraPath = objects->Keep(event.extraPaths[0]);
        }
        if (event.extraPaths.size() > 1) {
            record.secondExtraPath = objects->Keep(event.extraPaths[1]);
        }
    } else if (event.eventClass == kClassProcess && event.operation == kOperationCreateProcess) {
        const ScenarioProcess& created = *scenario_.FindProcess(event.targetProcess);
        record.TargetProcessId = created.pid;
        record.createdCommandLine = objects->Keep(created.commandLine);
        record.createdImagePath = objects->Keep(created.path);
    } else if (event.eventClass == kClassRegistry) {
        const RegistryDetails& registry = event.registry;
        record.drvReq.m_Registry.m_KeyName = registry.key ? objects->Keep(*registry.key) : nullptr;
        record.valueName = registry.valueName ? objects->Keep(*registry.valueName) : nullptr;
        record.valueType = registry.valueType;
        objects->data = registry.data;
        objects->oldData = registry.oldData;
        record.firstValueData = objects->data.empty() ? nullptr : objects->data.data();
        record.firstValueSize = static_cast<uint32_t>(objects->data.size());
        record.secondValueData = objects->oldData.empty() ? nullptr : objects->oldData.data();
        record.secondValueSize = static_cast<uint32_t>(objects->oldData.size());
    }

    simhost::RuleTarget& target = objects->target;
    target.bundle = &targetBundle_;
    target.srcPath = event.sourcePath;
    target.dstPath = event.destinationPath;
    target.srcLevel = event.sourceLevel.level;
    target.srcSubLevel = event.sourceLevel.subLevel;
    target.dstLevel = event.destinationLevel.level;
    target.dstSubLevel = event.destinationLevel.subLevel;
    target.guardType = event.guardType;
    target.operatorType = event.operatorType;
    target.properties[kPropertyPass] = {RK_S_OK, event.alreadyPassed ? 1u : 0u};
    target.properties[kPropertyDangerous] = {RK_S_OK, event.alreadyReported ? 1u : 0u};
    for (const ScenarioItem& item : event.items) {
        simhost::HostScanItem& scanItem = objects->scanItems.emplace_back();
        if (!item.path.empty()) {
            scanItem.SetPath(item.path.c_str());
        }
        scanItem.SetLevel(item.level.level);
        scanItem.SetSubLevel(item.level.subLevel);
        scanItem.SetRiskType(item.riskType);
        scanItem.SetEngineId(item.engineId);
        if (!item.riskName.empty()) {
            std::u16string names = item.riskName;
            names.append(2, u'\0');
            scanItem.SetRiskName(names.c_str());
        }
        tierlock::RkItemRecord& record = objects->items.emplace_back();
        std::memset(&record, 0, sizeof(record));
        record.type = item.type;
        record.processId = item.process;
        record.engineKind = item.engineKind;
        record.scanItem = &scanItem;
        target.items[item.type] = &record;
    }
    return objects;
}

void ScenarioHost::ClearRecords() {
    framework_.ClearRecords();
    tree_.ClearCalls();
    cache_.ClearRecords();
    fileInfo_.ClearRecords();
}

std::vector<std::string> ScenarioHost::Imbalances() const {
    std::vector<std::string> lines;
    CountObject("framework", framework_, &lines);
    CountObject("file information service", fileInfo_, &lines);
    // The plug-in holds the cloud engine without a reference of its own: the one its Init was
    // handed is never given back.
    CountObject("cloud engine", cloud_, &lines, scenario_.offersCloud ? 1 : 0);
    CountObject("trust query", trust_, &lines);
    CountObject("process tree", *tree_.ctrl(), &lines);
    CountObject("process tree helper", *tree_.helper(), &lines);
    CountObject("target bundle", targetBundle_, &lines);
    if (tree_.heldRoots() != 0) {
        lines.push_back("process tree: " + std::to_string(tree_.heldRoots()) +
                        " tree roots still held");
    }
    if (tree_.releaseUnderflows() != 0) {
        lines.push_back("process tree: " + std::to_string(tree_.releaseUnderflows()) +
                        " releases of roots not held");
    }
    return lines;
}

std::vector<std::string> ScenarioHost::Imbalances(const EventObjects& objects) {
    std::vector<std::string> lines;
    CountObject("event bundle", objects.extBundle, &lines);
    size_t index = 0;
    for (const simhost::HostScanItem& item : objects.scanItems) {
        CountObject("scan item " + std::to_string(index++), item, &lines);
    }
    return lines;
}

}  // namespace tierlock_host
