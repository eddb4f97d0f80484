#include "last_event_floors.h"

#include <benchmark/benchmark.h>

#include "bundle/bundle.h"
#include "engine/event_inputs.h"

namespace bench {
namespace {

constexpr uint32_t kMatchUserTrust = 0x17;
constexpr uint32_t kMatchEither = 0x1DF;
constexpr size_t kChainLength = 4;

// The trust question's parameter set as the plug-in fills it for a file level (no process) and
// for a target list item (the item's process and sub-level).
void PutTrustParameters(IASBundle* bundle, bool targetList) {
    if (targetList) {
        bundle->PutInt("force_real_query", 1);
    }
    bundle->PutInt("sync_scan", 1);
    bundle->PutInt("sublevel", targetList ? 3 : 0);
    bundle->PutInt("isSysFile", 0);
    bundle->PutInt("update_process_level", targetList ? 1 : 0);
    if (targetList) {
        bundle->PutInt("process_id", Scene::kActingPid);
        bundle->PutInt64("process_create_time", 0, 0);
    }
    bundle->PutInt("match_type", targetList ? kMatchEither : kMatchUserTrust);
}

template <class T>
T* Opaque(T* pointer) {
    benchmark::DoNotOptimize(pointer);
    return pointer;
}

}  // namespace

FloorCalls::FloorCalls(Scene& scene, std::vector<simhost::LogRecord> lines)
    : scene_(scene), lines_(std::move(lines)), chain_(kChainLength) {
    if (tierlock::CreateBundle(&fileLevelQuery_) == RK_S_OK) {
        PutTrustParameters(fileLevelQuery_, false);
    }
    if (tierlock::CreateBundle(&targetListQuery_) == RK_S_OK) {
        PutTrustParameters(targetListQuery_, true);
    }
    if (tierlock::CreateBundle(&digestQuery_) == RK_S_OK) {
        digestQuery_->PutWString("FilePath", Scene::kChainPaths[3]);
    }
    if (tierlock::CreateRkBundle(&request_) != RK_S_OK) {
        request_ = nullptr;
    }
}

FloorCalls::~FloorCalls() {
    for (ISmartUnknown* object :
         {static_cast<ISmartUnknown*>(fileLevelQuery_),
          static_cast<ISmartUnknown*>(targetListQuery_), static_cast<ISmartUnknown*>(digestQuery_),
          static_cast<ISmartUnknown*>(request_)}) {
        if (object) {
            object->Release();
        }
    }
}

void FloorCalls::Line(int32_t level) {
    IRkFramework* frame = Opaque(scene_.framework());
    if (frame->Log(nullptr, level) != 0 || lines_.empty()) {
        return;
    }
    frame->Log(lines_[next_].text.c_str(), level);
    next_ = next_ + 1 == lines_.size() ? 0 : next_ + 1;
}

void FloorCalls::Admission() {
    IRkRuleEvent* event = Opaque(scene_.event());
    IRkRuleEngine* engine = Opaque(scene_.engine());
    void* record = event->GetRecord();
    benchmark::DoNotOptimize(record);
    IRkRuleTarget* target = nullptr;
    engine->GetTargetV2(&IID_IRkRuleTarget, &target);
    for (uint32_t id : {tierlock::kPropertyPassEvent, tierlock::kPropertyDangerousEvent}) {
        uint32_t value = 0;
        uint32_t size = sizeof(value);
        target->GetProperty(id, &value, &size);
        benchmark::DoNotOptimize(value);
        Line(kInfo);
    }
    Line(kInfo);  // the event's class, rule id and mode
}

void FloorCalls::Unconfigured() {
    Admission();
    Line(kInfo);  // nothing to do
}

void FloorCalls::FileLevel(IRkRuleTarget* target, bool source) {
    const int32_t level = source ? target->GetSrcFileLevel() : target->GetDstFileLevel();
    const int32_t subLevel = source ? target->GetSrcFileSubLevel() : target->GetDstFileSubLevel();
    benchmark::DoNotOptimize(level);
    benchmark::DoNotOptimize(subLevel);
    const char16_t* path = source ? target->GetSrcPath() : target->GetDstPath();
    uint8_t skip = 0;
    uint32_t matchType = 0;
    Opaque(scene_.trust())->IsCanSkipReport(path, fileLevelQuery_, &skip, &matchType);
    benchmark::DoNotOptimize(matchType);
    Line(kInfo);
}

IRKProcessTreeCache* FloorCalls::Cache(IRkRuleTarget* target) {
    IASBundle* bundle = target->GetBundle();
    uint64_t address = 0;
    bundle->GetInt64(tierlock::kProcessTreeCacheKey, &address);
    return reinterpret_cast<IRKProcessTreeCache*>(static_cast<uintptr_t>(address));
}

void FloorCalls::MemberLevel(IRKProcessTreeCache* cache,
                             const tierlock::RkProcessInfoRecord& member) {
    uint64_t ttl = 0;
    uint32_t size = sizeof(ttl);
    cache->GetProcessValue(member.processId, &member.createTime, "FLVL_TTL", &ttl, &size);
    Line(kInfo);
    Line(kInfo);  // which pair is in force
    for (const char* name : {"LEVEL", "SUB_LEVEL"}) {
        int32_t value = 0;
        size = sizeof(value);
        cache->GetProcessValue(member.processId, &member.createTime, name, &value, &size);
        benchmark::DoNotOptimize(value);
        Line(kInfo);
    }
}

void FloorCalls::ChainFromCache(IRKProcessTreeCache* cache, bool reportLines) {
    uint32_t count = 0;
    cache->GetProcessChain(Scene::kActingPid, 0, nullptr, &count);
    uint32_t capacity = static_cast<uint32_t>(chain_.size());
    cache->GetProcessChain(Scene::kActingPid, 0, chain_.data(), &capacity);
    for (const tierlock::RkProcessInfoRecord& member : chain_) {
        MemberLevel(cache, member);
        Line(kInfo);  // the member's level, known or reported
    }
    benchmark::DoNotOptimize(reportLines);
}

void FloorCalls::Levels() {
    Line(kInfo);  // the candidate rule's dump
    IRkRuleTarget* target = Opaque(scene_.target());
    FileLevel(target, true);
    FileLevel(target, false);
    benchmark::DoNotOptimize(target->GetSrcPath());
    benchmark::DoNotOptimize(target->GetDstPath());
    Line(kInfo);  // both file levels
    ChainFromCache(Cache(target), false);
    Line(kInfo);  // no parent level asked for
    for (size_t i = 0; i < kChainLength; ++i) {
        Line(kInfo);  // each member against the chain level
    }
}

void FloorCalls::Unmatched() {
    Admission();
    Levels();
    Line(kInfo);  // unmatched
}

void FloorCalls::TargetList(IRkRuleTarget* target) {
    // The danger list: the source item, with its scan item's path.
    auto* item = static_cast<tierlock::RkItemRecord*>(target->GetItem(target->GetSrcPath(), 1));
    Line(kInfo);
    IRKScanItem* scanItem = item->scanItem;
    benchmark::DoNotOptimize(scanItem->GetPath());
    Line(kInfo);
    Line(kInfo);  // the list's size
    // Its trust question; the process's creation time is the system's, not the host's.
    const char16_t* path = scanItem->GetPath();
    benchmark::DoNotOptimize(scanItem->GetSubLevel());
    Line(kInfo);
    Line(kInfo);
    uint8_t skip = 0;
    uint32_t matchType = 0;
    Opaque(scene_.trust())->IsCanSkipReport(path, targetListQuery_, &skip, &matchType);
    benchmark::DoNotOptimize(matchType);
    Line(kInfo);
    // The destination items the event does not have.
    benchmark::DoNotOptimize(target->GetItem(target->GetDstPath(), 8));
    Line(kInfo);
    benchmark::DoNotOptimize(target->GetItem(nullptr, 16));
    Line(kInfo);
    Line(kInfo);  // the target list's size
    // The entry: the file's level, its two digests from the host's cache, the risk name.
    benchmark::DoNotOptimize(scanItem->GetLevel());
    for (int digest = 0; digest < 2; ++digest) {
        benchmark::DoNotOptimize(scanItem->GetPath());
        Opaque(scene_.fileCache())->QueryFileInfo(digestQuery_);
    }
    benchmark::DoNotOptimize(scanItem->GetRiskName());
    Line(kCore);
    Line(kCore);
    Line(kCore);
}

void FloorCalls::Matched() {
    Admission();
    Levels();
    Line(kInfo);  // the chain matched
    Line(kInfo);  // the matching rule's dump
    Line(kInfo);  // pop-up ahead
    IRkRuleTarget* target = Opaque(scene_.target());
    benchmark::DoNotOptimize(target->GetGuardType());
    benchmark::DoNotOptimize(target->GetOperatorType());
    // The parent correction.
    tierlock::RkProcessInfoRecord info{};
    const uint64_t createTime = 0;
    Cache(target)->GetProcessInfo(Scene::kActingPid, &createTime, &info);
    benchmark::DoNotOptimize(info);
    Line(kCore);
    Line(kCore);
    TargetList(target);
    Line(kInfo);  // the chain report begins
    ChainFromCache(Cache(target), true);
    IRkRuleEvent* event = Opaque(scene_.event());
    event->AttachBundle(2, request_);
    int32_t answer = 0;
    Opaque(scene_.framework())->PopWnd(event, 1, &answer);
    benchmark::DoNotOptimize(answer);
    Line(kInfo);
    Line(kInfo);
}

}  // namespace bench
