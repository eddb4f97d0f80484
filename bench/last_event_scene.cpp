#include "last_event_scene.h"

#include "testsupport/shared_tree.h"

#include <cstdio>

#include "bundle/bundle.h"
#include "engine/event_inputs.h"
#include "log/log.h"

namespace bench {
namespace {

constexpr const char16_t* kActingCmd = u"\"C:\\Temp\\dropper.exe\" /quiet";

}  // namespace

const char16_t* const Scene::kChainPaths[4] = {
    u"C:\\Windows\\System32\\smss.exe", u"C:\\Windows\\explorer.exe",
    u"C:\\Windows\\System32\\cmd.exe", u"C:\\Temp\\dropper.exe"};

const char16_t* const Scene::kDestination = u"C:\\Users\\alice\\Documents\\report.docx";

HostCallCounts HostCallCounts::Since(const HostCallCounts& before) const {
    HostCallCounts delta = *this;
    delta.properties -= before.properties;
    delta.itemRequests -= before.itemRequests;
    delta.bundleReads -= before.bundleReads;
    for (size_t i = 0; i < 3; ++i) {
        delta.probes[i] -= before.probes[i];
    }
    delta.lines -= before.lines;
    delta.popups -= before.popups;
    delta.attached -= before.attached;
    delta.treeCalls -= before.treeCalls;
    delta.processCacheCalls -= before.processCacheCalls;
    delta.trustCalls -= before.trustCalls;
    delta.fileCacheCalls -= before.fileCacheCalls;
    delta.cloudCalls -= before.cloudCalls;
    return delta;
}

std::string HostCallCounts::Describe() const {
    char text[320];
    std::snprintf(text, sizeof(text),
                  "properties=%zu items=%zu bundleReads=%zu probes=%zu/%zu/%zu lines=%zu "
                  "popups=%zu attached=%zu tree=%zu processCache=%zu trust=%zu fileCache=%zu "
                  "cloud=%zu",
                  properties, itemRequests, bundleReads, probes[0], probes[1], probes[2], lines,
                  popups, attached, treeCalls, processCacheCalls, trustCalls, fileCacheCalls,
                  cloudCalls);
    return text;
}

Scene::Scene(const std::string& config, uint32_t ruleId, LogPolicy policy, bool renewServices)
    : policy_(policy), ruleId_(ruleId), config_(renewServices ? config : std::string()) {
    if (tierlock::CreateBundle(&targetBundle_) != RK_S_OK) {
        targetBundle_ = nullptr;
    }
    BuildItems();
    StartHost(config);
    Renew();
}

Scene::~Scene() {
    plug_.UnInit();
    tierlock::g_pFrame.Assign(nullptr);
    for (IRKScanItem* item : scanItems_) {
        item->Release();
    }
    if (targetBundle_) {
        targetBundle_->Release();
    }
}

void Scene::MakeCurrent() {
    tierlock::g_pFrame.Assign(&host_->framework);
}

// The source item with its scan item: the acting process's file.
void Scene::BuildItems() {
    IRKScanItem* scanItem = nullptr;
    if (tierlock::CreateScanItem(&scanItem) == RK_S_OK) {
        scanItem->SetPath(kChainPaths[3]);
        scanItem->SetLevel(70);
        scanItem->SetSubLevel(3);
        scanItems_.push_back(scanItem);
    }
    items_.push_back(tierlock::RkItemRecord{1, kActingPid, 0, 0, {0, 0}, scanItem});
}

// The chain in the event's process cache with a level for every member, the trust service
// that knows every file and vouches for none, and the acting process's file digests.
void Scene::StartHost(const std::string& config) {
    auto host = std::make_unique<HostServices>();
    simhost::ProcessTree& tree = testsupport::SharedProcessTree();
    host->framework.Serve(IID_IRKProcTreeV3Ctrl, tree.ctrl());
    host->framework.Serve(IID_IRKProcessTreeHelperCtrl, tree.helper());
    host->framework.Serve(IID_IRKMisKillingQuery_V2, &host->trust);
    host->framework.Serve(IID_IRKCACHE, &host->fileCache);
    host->framework.Serve(IID_IRKEngCloudV2, &host->cloud);

    const int32_t levels[4][2] = {{10, 0}, {10, 0}, {50, 1}, {70, 3}};
    uint32_t parent = 0;
    std::vector<uint32_t> chain;
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t pid = kChainPids[i];
        host->processCache.AddProcess(pid, std::nullopt, parent, kChainPaths[i]);
        host->processCache.SetInt(pid, "LEVEL", levels[i][0]);
        host->processCache.SetInt(pid, "SUB_LEVEL", levels[i][1]);
        parent = pid;
        chain.push_back(pid);
    }
    // The host answers the chain acting process first.
    host->processCache.SetChain(kActingPid, {chain.rbegin(), chain.rend()});
    if (targetBundle_) {
        const auto address = static_cast<uint64_t>(
            reinterpret_cast<uintptr_t>(static_cast<IRKProcessTreeCache*>(&host->processCache)));
        targetBundle_->PutInt64(tierlock::kProcessTreeCacheKey, static_cast<uint32_t>(address),
                                static_cast<uint32_t>(address >> 32));
    }
    const simhost::TrustVerdict untrusted{true, 0, 0, false};
    host->trust.Answer(kDestination, untrusted);
    for (const char16_t* path : kChainPaths) {
        host->trust.Answer(path, untrusted);
    }
    host->fileCache.AnswerFile(kChainPaths[3], {u"0123456789ABCDEF0123456789ABCDEF",
                                                u"0123456789ABCDEF0123456789ABCDEF01234567"});

    // Init writes the whole configuration to the log; the setup need not pay for that.
    for (int32_t level : {kInfo, kError, kCore}) {
        host->framework.SetProbeAnswer(level, 1);
    }
    plug_.UnInit();
    plug_.Init(&host->framework, config.data(), static_cast<int32_t>(config.size()));
    plug_.SetEnable(tierlock::RKOPT_TIERLOCK_ENABLE, true);
    for (int32_t level : {kInfo, kError, kCore}) {
        host->framework.SetProbeAnswer(level, Accepts(level) ? 0 : 1);
    }
    host_ = std::move(host);  // the old services outlive the plug-in's hold on them
}

void Scene::Renew() {
    if (!config_.empty()) {
        event_.reset();  // gives back the request bundles before their host goes
        StartHost(config_);
    }
    event_ = std::make_unique<simhost::RuleEvent>();
    tierlock::RkEventRecord& record = event_->record;
    record.Class = tierlock::kClassFile;
    record.syncMode = tierlock::kSyncModeSynchronous;
    record.uRuleId = ruleId_;
    record.GroupId = 7;
    record.ProcessId = kActingPid;
    record.PPID = kParentPid;
    record.ProcessPath = kChainPaths[3];
    record.ProcessCmd = kActingCmd;

    target_ = std::make_unique<simhost::RuleTarget>();
    target_->bundle = targetBundle_;
    target_->srcPath = kChainPaths[3];
    target_->dstPath = kDestination;
    target_->srcLevel = 70;
    target_->srcSubLevel = 3;
    target_->dstLevel = 40;
    target_->dstSubLevel = 0;
    target_->guardType = 1;
    target_->operatorType = 2;
    target_->items[1] = &items_.front();
    engine_ = std::make_unique<simhost::RuleEngine>(target_.get());
    host_->framework.ClearLog();
    testsupport::SharedProcessTree().ClearCalls();
}

HostCallCounts Scene::Counts() const {
    HostCallCounts counts;
    counts.properties = target_->propertyReads().size();
    counts.itemRequests = target_->itemRequests().size();
    counts.bundleReads = target_->bundleReads();
    counts.probes[0] = host_->framework.probes(kInfo);
    counts.probes[1] = host_->framework.probes(kError);
    counts.probes[2] = host_->framework.probes(kCore);
    counts.lines = host_->framework.lines().size();
    counts.popups = host_->framework.popups().size();
    counts.attached = event_->attached().size();
    for (uint32_t op = 0; op < static_cast<uint32_t>(simhost::TreeOp::Count); ++op) {
        counts.treeCalls +=
            testsupport::SharedProcessTree().calls(static_cast<simhost::TreeOp>(op));
    }
    counts.processCacheCalls = host_->processCache.calls();
    counts.trustCalls = host_->trust.calls().size();
    counts.fileCacheCalls = host_->fileCache.calls();
    counts.cloudCalls = host_->cloud.calls().size();
    return counts;
}

}  // namespace bench
