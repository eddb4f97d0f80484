#include "last_event_scene.h"

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

simhost::ProcessTree& SharedTree() {
    static auto* tree = new simhost::ProcessTree();  // outlives the helper that points at it
    return *tree;
}

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

Scene::Scene(const std::string& config, uint32_t ruleId, LogPolicy policy)
    : policy_(policy), ruleId_(ruleId) {
    simhost::ProcessTree& tree = SharedTree();
    framework_.Serve(IID_IRKProcTreeV3Ctrl, tree.ctrl());
    framework_.Serve(IID_IRKProcessTreeHelperCtrl, tree.helper());
    framework_.Serve(IID_IRKMisKillingQuery_V2, &trust_);
    framework_.Serve(IID_IRKCACHE, &fileCache_);
    framework_.Serve(IID_IRKEngCloudV2, &cloud_);
    // Init writes the whole configuration to the log; the setup need not pay for that.
    for (int32_t level : {kInfo, kError, kCore}) {
        framework_.SetProbeAnswer(level, 1);
    }
    plug_.Init(&framework_, config.data(), static_cast<int32_t>(config.size()));
    plug_.SetEnable(tierlock::RKOPT_TIERLOCK_ENABLE, true);
    for (int32_t level : {kInfo, kError, kCore}) {
        framework_.SetProbeAnswer(level, Accepts(level) ? 0 : 1);
    }
    BuildHostState();
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
    tierlock::g_pFrame.Assign(&framework_);
}

// The host's knowledge of the four processes: the chain in the event's process cache with a
// level for every member, the acting process's file digests, and the source item's scan item.
void Scene::BuildHostState() {
    const int32_t levels[4][2] = {{10, 0}, {10, 0}, {50, 1}, {70, 3}};
    uint32_t parent = 0;
    std::vector<uint32_t> chain;
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t pid = kChainPids[i];
        processCache_.AddProcess(pid, std::nullopt, parent, kChainPaths[i]);
        processCache_.SetInt(pid, "LEVEL", levels[i][0]);
        processCache_.SetInt(pid, "SUB_LEVEL", levels[i][1]);
        parent = pid;
        chain.push_back(pid);
    }
    // The host answers the chain acting process first.
    processCache_.SetChain(kActingPid, {chain.rbegin(), chain.rend()});

    if (tierlock::CreateBundle(&targetBundle_) == RK_S_OK) {
        const auto address = static_cast<uint64_t>(
            reinterpret_cast<uintptr_t>(static_cast<IRKProcessTreeCache*>(&processCache_)));
        targetBundle_->PutInt64(tierlock::kProcessTreeCacheKey, static_cast<uint32_t>(address),
                                static_cast<uint32_t>(address >> 32));
    }
    // The trust service knows every file and vouches for none.
    const simhost::TrustVerdict untrusted{true, 0, 0, false};
    trust_.Answer(kDestination, untrusted);
    for (const char16_t* path : kChainPaths) {
        trust_.Answer(path, untrusted);
    }
    fileCache_.AnswerFile(kChainPaths[3], {u"0123456789ABCDEF0123456789ABCDEF",
                                           u"0123456789ABCDEF0123456789ABCDEF01234567"});

    IRKScanItem* scanItem = nullptr;
    if (tierlock::CreateScanItem(&scanItem) == RK_S_OK) {
        scanItem->SetPath(kChainPaths[3]);
        scanItem->SetLevel(70);
        scanItem->SetSubLevel(3);
        scanItems_.push_back(scanItem);
    }
    items_.push_back(tierlock::RkItemRecord{1, kActingPid, 0, 0, {0, 0}, scanItem});
}

void Scene::Renew() {
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
    framework_.ClearLog();
    SharedTree().ClearCalls();
}

HostCallCounts Scene::Counts() const {
    HostCallCounts counts;
    counts.properties = target_->propertyReads().size();
    counts.itemRequests = target_->itemRequests().size();
    counts.bundleReads = target_->bundleReads();
    counts.probes[0] = framework_.probes(kInfo);
    counts.probes[1] = framework_.probes(kError);
    counts.probes[2] = framework_.probes(kCore);
    counts.lines = framework_.lines().size();
    counts.popups = framework_.popups().size();
    counts.attached = event_->attached().size();
    for (uint32_t op = 0; op < static_cast<uint32_t>(simhost::TreeOp::Count); ++op) {
        counts.treeCalls += SharedTree().calls(static_cast<simhost::TreeOp>(op));
    }
    counts.processCacheCalls = processCache_.calls();
    counts.trustCalls = trust_.calls().size();
    counts.fileCacheCalls = fileCache_.calls();
    counts.cloudCalls = cloud_.calls().size();
    return counts;
}

}  // namespace bench
