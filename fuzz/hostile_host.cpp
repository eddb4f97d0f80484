// LastProcessEvent against a hostile host. The input decides everything the host answers: the
// event record (any recordSize, any class and union contents, paths or null), the target's
// properties, levels and items with their scan items, the process tree (cycles, failing
// operations, lying lengths, sizes and counts), the process-information cache and the widths
// of its values, the cloud engine, the trust service, the user's answer and which log levels
// are wanted. The configuration is fixed and reaches every event class, report type, match
// list and pop-up text. Every host object counts its references; a leaked or doubly released
// reference, a tree root not given back, a verdict outside 0..2 or a pop-up that disagrees
// with the verdict aborts. Pointers handed to the plug-in always point at valid memory or are
// null: a host that hands out wild pointers cannot be defended against.
#include "hostile_host.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "abi/records.h"
#include "bundle/bundle.h"
#include "bundle/bundle_pool.h"
#include "bundle/memory.h"
#include "log/log.h"
#include "plugin/tierlock.h"
#include "proctree/proctree.h"
#include "simhost/framework.h"
#include "simhost/proc_tree.h"
#include "simhost/process_cache.h"
#include "simhost/rule_objects.h"
#include "simhost/services.h"
#include "testsupport/counting_memory.h"
#include "testsupport/shared_tree.h"

namespace {

// Rules of all three event classes, report types 0, 1, 2 and others, and match modes that use
// the source, destination, parent and chain lists alone and together.
constexpr char kConfig[] = R"({"enable":1,
  "matchmode":[
    {"modeid":1,"mode":[{"id":1,"srclvl":"70,50.3","popwnd":"untrusted source"},
                        {"id":2,"dstlvl":"70.3,0.1","popwnd":"untrusted target"}]},
    {"modeid":2,"mode":[{"id":1,"plvl":"70,50","popwnd":"父进程不可信"},
                        {"id":2,"plvl":"10,0.3","chainlvl":"70,50.1","popwnd":"chain"},
                        {"id":3,"chainlvl":"0.5,30","popwnd":"chain only"}]},
    {"modeid":3,"mode":[{"id":1,"srclvl":"70,50,30","dstlvl":"70,50,30,0.1","plvl":"70,50,30",
                         "chainlvl":"70,50,30","popwnd":"every list"},
                        {"id":2,"srclvl":"0.3","chainlvl":"10","popwnd":"x"}]}],
  "rules":[
    {"id":1,"eventtype":1,"reporttype":0,"ruleid":"1,2,3","modeid":1},
    {"id":2,"eventtype":1,"reporttype":1,"ruleid":"2,5","modeid":2},
    {"id":3,"eventtype":2,"reporttype":2,"ruleid":"1,2,3","modeid":2},
    {"id":4,"eventtype":2,"reporttype":65535,"ruleid":"3,4","modeid":3},
    {"id":5,"eventtype":3,"reporttype":24,"ruleid":"1,2,3","modeid":3},
    {"id":6,"eventtype":3,"reporttype":-1,"ruleid":"4,5","modeid":1},
    {"id":7,"eventtype":3,"reporttype":0,"ruleid":"5","modeid":2},
    {"id":8,"eventtype":1,"reporttype":3,"ruleid":"4","modeid":3},
    {"id":9,"eventtype":2,"reporttype":16,"ruleid":"5","modeid":1},
    {"id":10,"eventtype":2,"reporttype":0,"ruleid":"1","modeid":1},
    {"id":11,"eventtype":3,"reporttype":0,"ruleid":"1","modeid":1}]})";

[[noreturn]] void Fault(const char* what) {
    std::fprintf(stderr, "hostile host: %s\n", what);
    std::abort();
}

// Every bundle object and scan item, the plug-in's and the host's, counted until destroyed;
// objects can be made to fail once a budget is spent. The tree lives for the whole run: the
// process-wide helper keeps the first services it is given, so every input is served the same
// ctrl and helper objects over a reset tree.
std::atomic<size_t>& g_objectsMade = testsupport::Bundles().objectsMade;
std::atomic<size_t>& g_objectsDestroyed = testsupport::Bundles().objectsDestroyed;
std::atomic<size_t>& g_objectBudget = testsupport::Bundles().objectBudget;

simhost::ProcessTree& Tree() {
    return testsupport::SharedProcessTree();
}

struct Baseline {
    uint32_t ctrlRefs;
    uint32_t helperRefs;
};

const Baseline& Start() {
    static const Baseline baseline = [] {
        tierlock::SetBundleMemory(&testsupport::CountingMemory());
        tierlock::rkProcTreeHelper::GetInstance()->init(Tree().ctrl(), Tree().helper());
        return Baseline{Tree().ctrl()->refs(), Tree().helper()->refs()};
    }();
    return baseline;
}

// A small vocabulary of pids, levels and paths, so that the answers the input gives meet the
// questions the plug-in asks; any other value can still be chosen.
constexpr uint32_t kPids[] = {100, 4, 8, 12, 16, 20, 24, 0};
constexpr int32_t kLevels[] = {70, 50, 30, 10, 0, 80, -1};
constexpr int32_t kSubLevels[] = {3, 0, 1, 5, 65535, -1};
const char16_t* const kPaths[] = {
    u"C:\\Temp\\a.exe",
    u"C:\\Windows\\explorer.exe",
    u"\\Device\\HarddiskVolume2\\Temp\\b.dll",
    u"\\SystemRoot\\System32\\svchost.exe",
    u"\\??\\C:\\Users\\x\\doc.txt",
    u"c:\\windows\\system32\\cmd.exe",
    u"",
};
constexpr uint32_t kItemTypes[] = {1, 2, 4, 8, 16, 32, 64, 0x80000000u, 0xFFFFu};
const char* const kPropertyNames[] = {"LEVEL",         "SUB_LEVEL", "FIX_LEVEL",
                                      "FIX_SUB_LEVEL", "FLVL_TTL",  "CURRENT_CONVERT_PATH"};
constexpr uint32_t kOddCounts[] = {0, 1, 2, 259, 260, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF};

class Choices {
  public:
    explicit Choices(FuzzedDataProvider& in) : in_(in) {}

    bool Bool() { return in_.ConsumeBool(); }
    // Rarely true: most inputs keep to the common road.
    bool Rarely() { return in_.ConsumeIntegral<uint8_t>() >= 224; }
    template <class T>
    T Any() {
        return in_.ConsumeIntegral<T>();
    }
    template <class T>
    T Range(T low, T high) {
        return in_.ConsumeIntegralInRange<T>(low, high);
    }
    // The first entry of a table when the input runs out, another one, or any value.
    template <class T, size_t N>
    T From(const T (&table)[N]) {
        const size_t pick = in_.ConsumeIntegralInRange<size_t>(0, N);
        return pick < N ? table[pick] : in_.ConsumeIntegral<T>();
    }
    uint32_t Pid() { return From(kPids); }
    int32_t Level() { return From(kLevels); }
    int32_t SubLevel() { return From(kSubLevels); }
    uint64_t Time() {
        constexpr uint64_t kTimes[] = {0, 133000000000000000ull, 1700000000000ull, ~0ull};
        return From(kTimes);
    }
    std::u16string Text(size_t maxUnits) {
        const std::string bytes = in_.ConsumeRandomLengthString(maxUnits * 2);
        std::u16string text(bytes.size() / 2, u'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
        return text;
    }
    std::u16string Path() {
        const size_t pick = in_.ConsumeIntegralInRange<size_t>(0, std::size(kPaths) + 1);
        if (pick < std::size(kPaths)) {
            return kPaths[pick];
        }
        if (pick == std::size(kPaths)) {
            return u"C:\\" + std::u16string(Range<size_t>(250, 1100), u'x') + u".exe";
        }
        return Text(300);
    }
    std::string Narrow(size_t max) { return in_.ConsumeRandomLengthString(max); }
    // A property name the plug-in reads, or another one.
    const char* Name() {
        const size_t pick = in_.ConsumeIntegralInRange<size_t>(0, std::size(kPropertyNames));
        return pick < std::size(kPropertyNames) ? kPropertyNames[pick] : "OTHER";
    }
    std::vector<uint8_t> Bytes(size_t max) {
        return in_.ConsumeBytes<uint8_t>(Range<size_t>(0, max));
    }
    std::optional<uint32_t> OddCount() {
        if (!Rarely()) {
            return std::nullopt;
        }
        return From(kOddCounts);
    }
    int32_t Status() {
        constexpr int32_t kStatuses[] = {RK_S_OK, RK_E_NOINTERFACE, 1, RK_E_INVALIDARG};
        return From(kStatuses);
    }

  private:
    FuzzedDataProvider& in_;
};

// The host's event: a record of exactly the size its recordSize promises (the layout without
// extBundle ends before it), and the bundles attached to it, held until the event ends.
class HostileEvent final : public IRkRuleEvent {
  public:
    HostileEvent(const tierlock::RkEventRecord& record, bool present)
        : size_(record.recordSize == tierlock::kRecordSizeWithExtBundle
                    ? sizeof(tierlock::RkEventRecord)
                    : offsetof(tierlock::RkEventRecord, extBundle)),
          block_(std::make_unique<uint8_t[]>(size_)),
          present_(present) {
        std::memcpy(block_.get(), &record, size_);
    }
    ~HostileEvent() {
        for (IRkBundle* bundle : attached_) {
            bundle->Release();
        }
    }
    HostileEvent(const HostileEvent&) = delete;
    HostileEvent& operator=(const HostileEvent&) = delete;

    size_t attachments() const { return attachments_; }

    void* RK_CALL GetRecord() override { return present_ ? block_.get() : nullptr; }
    int32_t RK_CALL AttachBundle(int32_t, IRkBundle* bundle) override {
        ++attachments_;
        if (bundle) {
            bundle->AddRef();
            attached_.push_back(bundle);
        }
        return RK_S_OK;
    }

  private:
    size_t size_;
    std::unique_ptr<uint8_t[]> block_;
    bool present_;
    std::vector<IRkBundle*> attached_;
    size_t attachments_ = 0;
};

// Everything the host answers for one input. Members are destroyed in reverse order, so the
// host objects outlive the plug-in object that borrows them.
struct HostileHost {
    simhost::Framework framework;
    simhost::CacheService fileInfo;
    simhost::CloudEngine cloud;
    simhost::TrustQueryV1 queryV1;
    simhost::TrustQueryV2 queryV2;
    simhost::ProcessCache cache;
    simhost::RuleTarget target;
    std::deque<std::u16string> texts;  // stable storage for the record's strings
    std::deque<std::vector<uint8_t>> blocks;
    std::deque<tierlock::RkItemRecord> items;
    std::vector<ISmartUnknown*> owned;  // the host's references to its bundles and scan items
    std::unique_ptr<HostileEvent> event;
    std::unique_ptr<simhost::RuleEngine> engine;
    bool cloudHandedOut = false;

    ~HostileHost() {
        event.reset();
        for (ISmartUnknown* object : owned) {
            object->Release();
        }
    }

    const char16_t* Keep(std::u16string text) {
        return texts.emplace_back(std::move(text)).c_str();
    }
    const char16_t* PathOrNull(Choices& in) { return in.Rarely() ? nullptr : Keep(in.Path()); }
    const void* Block(std::vector<uint8_t> bytes) {
        return blocks.emplace_back(std::move(bytes)).data();
    }
};

void ServeServices(Choices& in, HostileHost& host) {
    // Mostly served; sometimes absent, or handed out with a failing status. Answers whether the
    // object was handed out (with a reference, whatever the status).
    auto serve = [&](const RkGuid& iid, IRkUnknown* service) {
        const uint8_t how = in.Range<uint8_t>(0, 7);
        if (how < 5) {
            host.framework.Serve(iid, service);
        } else if (how == 5) {
            host.framework.Serve(iid, nullptr, RK_E_NOINTERFACE);
            return false;
        } else {
            host.framework.Serve(iid, service, in.Status());
        }
        return true;
    };
    serve(IID_IRKCACHE, &host.fileInfo);
    host.cloudHandedOut = serve(IID_IRKEngCloudV2, &host.cloud);
    // The trust service: version 2, version 1, both or none.
    switch (in.Range<uint8_t>(0, 3)) {
        case 0:
            serve(IID_IRKMisKillingQuery_V2, &host.queryV2);
            break;
        case 1:
            host.framework.Serve(IID_IRKMisKillingQuery_V2, nullptr, RK_E_NOINTERFACE);
            serve(IID_IRKMisKillingQuery, &host.queryV1);
            break;
        case 2:
            serve(IID_IRKMisKillingQuery_V2, &host.queryV2);
            serve(IID_IRKMisKillingQuery, &host.queryV1);
            break;
        default:
            break;
    }
    serve(IID_IRKProcTreeV3Ctrl, Tree().ctrl());
    serve(IID_IRKProcessTreeHelperCtrl, Tree().helper());

    for (int32_t level : {30, 35, 50}) {
        host.framework.SetProbeAnswer(level, in.Rarely() ? 1 : 0);
    }
    constexpr int32_t kAnswers[] = {2, 0, 1, 3};
    host.framework.SetPopWndAnswer(!in.Rarely(), in.From(kAnswers));
}

void AnswerServices(Choices& in, HostileHost& host) {
    for (size_t n = in.Range<size_t>(0, 4); n > 0; --n) {
        host.cloud.Answer(in.Path(), {in.Level(), in.SubLevel()});
    }
    host.cloud.SetFailing(in.Rarely());
    constexpr uint32_t kMatchTypes[] = {0x17, 0x1C8, 0x1DF, 0, 0x10};
    for (size_t n = in.Range<size_t>(0, 4); n > 0; --n) {
        const std::u16string path = in.Path();
        const simhost::TrustVerdict verdict{in.Bool(), in.Any<uint8_t>(), in.From(kMatchTypes),
                                            in.Rarely()};
        host.queryV1.Answer(path, verdict);
        host.queryV2.Answer(path, verdict);
    }
    for (size_t n = in.Range<size_t>(0, 3); n > 0; --n) {
        host.fileInfo.AnswerFile(in.Path(), {in.Text(40), in.Text(48)});
    }
}

void BuildTree(Choices& in) {
    simhost::ProcessTree& tree = Tree();
    const uint32_t count = in.Range<uint32_t>(0, 10);
    for (uint32_t i = 0; i < count; ++i) {
        const simhost::NodeId parent = in.Range<uint32_t>(0, i);
        const simhost::NodeId node =
            tree.AddProcess({in.Pid(), in.Path(), in.Time(), in.Pid()}, parent);
        for (size_t n = in.Range<size_t>(0, 4); n > 0; --n) {
            const char* name = in.Name();
            switch (in.Range<uint8_t>(0, 3)) {
                case 0:
                    tree.SetInt32(node, name, in.Level());
                    break;
                case 1:
                    tree.SetUInt64(node, name, in.Time());
                    break;
                case 2:
                    tree.SetText(node, name, in.Path());
                    break;
                default:
                    tree.SetProperty(node, name, in.Bytes(12));
                    break;
            }
            if (in.Rarely()) {
                tree.SetPropertySizeAnswer(node, name, in.From(kOddCounts));
            }
        }
        tree.SetPathLengthAnswer(node, in.OddCount());
        tree.SetChildCountAnswer(node, in.OddCount());
    }
    if (count > 0) {
        for (size_t n = in.Rarely() ? in.Range<size_t>(1, 3) : 0; n > 0; --n) {
            tree.LinkChild(in.Range<uint32_t>(1, count), in.Range<uint32_t>(1, count));
        }
    }
    if (in.Rarely()) {
        const auto failing = in.Any<uint16_t>();
        for (uint32_t op = 0; op < static_cast<uint32_t>(simhost::TreeOp::Count); ++op) {
            tree.SetFailing(static_cast<simhost::TreeOp>(op), (failing >> op) & 1);
        }
    }
}

void BuildCache(Choices& in, HostileHost& host) {
    simhost::ProcessCache& cache = host.cache;
    for (size_t n = in.Range<size_t>(0, 6); n > 0; --n) {
        const uint32_t pid = in.Pid();
        const std::optional<uint64_t> time =
            in.Bool() ? std::optional<uint64_t>(in.Time()) : std::nullopt;
        cache.AddProcess(pid, time, in.Pid(), in.Path());
        for (size_t k = in.Range<size_t>(0, 4); k > 0; --k) {
            const char* name = in.Name();
            if (in.Bool()) {
                cache.SetInt(pid, name, in.Level());
            } else {
                cache.SetUInt64(pid, name, in.Time());
            }
        }
        if (in.Bool()) {
            std::vector<uint32_t> chain(in.Range<size_t>(0, 6));
            for (uint32_t& member : chain) {
                member = in.Pid();
            }
            cache.SetChain(pid, chain);
        }
    }
    cache.chainCountOverride = in.OddCount();
    cache.failChainFill = in.Rarely();
    cache.valueSizeOverride = in.OddCount();
}

// A bundle of the host's: empty, or carrying key with an int64, an int or a text.
IASBundle* HostBundle(Choices& in, HostileHost& host, const char* key, uint64_t value) {
    IASBundle* bundle = nullptr;
    if (tierlock::CreateBundle(&bundle) != RK_S_OK || !bundle) {
        return nullptr;
    }
    host.owned.push_back(bundle);
    switch (in.Range<uint8_t>(0, 4)) {
        case 0:
            bundle->PutInt64(key, static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32));
            break;
        case 1:
            bundle->PutInt64(key, in.Any<uint32_t>(), in.Any<uint32_t>());
            break;
        case 2:
            bundle->PutInt(key, static_cast<uint32_t>(value));
            break;
        case 3:
            bundle->PutWString(key, in.Path().c_str());
            break;
        default:
            break;
    }
    return bundle;
}

IRKScanItem* HostScanItem(Choices& in, HostileHost& host) {
    IRKScanItem* scanItem = nullptr;
    if (tierlock::CreateScanItem(&scanItem) != RK_S_OK || !scanItem) {
        return nullptr;
    }
    host.owned.push_back(scanItem);
    if (!in.Rarely()) {
        scanItem->SetPath(in.Path().c_str());
    }
    scanItem->SetLevel(in.Level());
    scanItem->SetSubLevel(in.SubLevel());
    if (in.Bool()) {
        const std::vector<uint8_t> md5 = in.Bytes(20);
        scanItem->SetMd5(md5.data(), static_cast<uint32_t>(md5.size()));
        const std::vector<uint8_t> sha1 = in.Bytes(24);
        scanItem->SetSha1(sha1.data(), static_cast<uint32_t>(sha1.size()));
    }
    if (in.Bool()) {
        std::u16string names = in.Text(300);
        names.append(2, u'\0');  // a list of names that ends in a double NUL
        scanItem->SetRiskName(names.c_str());
        scanItem->SetRiskType(in.Any<uint32_t>());
        scanItem->SetText1(in.Narrow(40).c_str());
        scanItem->SetEngineId(in.Any<uint32_t>());
        scanItem->SetValue2(in.Any<uint32_t>());
    }
    return scanItem;
}

void BuildTarget(Choices& in, HostileHost& host) {
    simhost::RuleTarget& target = host.target;
    target.srcPath = in.Path();
    target.dstPath = in.Path();
    target.srcLevel = in.Level();
    target.srcSubLevel = in.SubLevel();
    target.dstLevel = in.Level();
    target.dstSubLevel = in.SubLevel();
    target.guardType = in.Any<int32_t>();
    target.operatorType = in.Any<int32_t>();
    for (uint32_t id : {2u, 4u}) {
        if (in.Rarely()) {
            target.properties[id] = {in.Status(), in.Any<uint32_t>()};
        }
    }
    // The process-information cache travels in the target's bundle.
    switch (in.Range<uint8_t>(0, 3)) {
        case 0:
            target.CarryCache(&host.cache);
            break;
        case 1:
            target.bundle = HostBundle(in, host, "other", 0);
            break;
        case 2:
            target.CarryCache(nullptr);
            break;
        default:
            break;  // no bundle
    }
    for (uint32_t type : kItemTypes) {
        // Mostly present, so that most inputs have something to report.
        if (in.Range<uint8_t>(0, 3) == 3) {
            continue;
        }
        if (!host.items.empty() && in.Rarely()) {
            target.items[type] = &host.items.back();  // one item under two types
            continue;
        }
        constexpr uint32_t kEngineKinds[] = {0, 1, 2, 3, 4};
        tierlock::RkItemRecord item{};
        item.type = in.Rarely() ? in.Any<uint32_t>() : type;
        item.processId = in.Pid();
        item.engineKind = in.From(kEngineKinds);
        item.scanItem = in.Rarely() ? nullptr : HostScanItem(in, host);
        target.items[type] = &host.items.emplace_back(item);
    }
}

// The record: the union slots hold what the plug-in reads for the record's class and
// operation, so every pointer it follows is valid or null whatever it picks.
tierlock::RkEventRecord BuildRecord(Choices& in, HostileHost& host) {
    tierlock::RkEventRecord record;
    std::memset(&record, 0, sizeof(record));
    constexpr uint32_t kSizes[] = {tierlock::kRecordSizeWithExtBundle, 0, 628, 636};
    record.recordSize = in.From(kSizes);
    constexpr int32_t kClasses[] = {tierlock::kClassFile, tierlock::kClassRegistry,
                                    tierlock::kClassProcess, 0, 4};
    record.Class = in.From(kClasses);
    constexpr int32_t kOperations[] = {0, 1, 2, 3, 9, 4, 5};
    record.operation = in.From(kOperations);
    record.syncMode = in.Rarely() ? in.Any<int32_t>() : tierlock::kSyncModeSynchronous;
    constexpr uint32_t kRuleIds[] = {1, 2, 3, 4, 5, 0};
    record.uRuleId = in.From(kRuleIds);
    record.GroupId = in.Any<uint16_t>();
    record.ProcessId = in.Pid();
    record.PPID = in.Pid();
    record.ProcessPath = host.PathOrNull(in);
    record.ProcessCmd = in.Bool() ? host.Keep(in.Text(600)) : nullptr;
    record.drvReq.m_Registry.m_KeyName = host.PathOrNull(in);
    record.firstExtraPath = host.PathOrNull(in);  // also the registry value name

    const bool registry = record.Class == tierlock::kClassRegistry;
    const bool fileWithTwoPaths = record.Class == tierlock::kClassFile && record.operation == 3;
    const bool processCreate = record.Class == tierlock::kClassProcess && record.operation == 1;
    if (fileWithTwoPaths) {
        record.secondExtraPath = host.PathOrNull(in);
    } else {
        record.TargetProcessId = in.Pid();  // also the registry value type
    }
    if (registry) {
        std::vector<uint8_t> first = in.Bytes(600);
        record.firstValueSize = static_cast<uint32_t>(first.size());
        record.firstValueData = in.Rarely() ? nullptr : host.Block(std::move(first));
        if (!record.firstValueData && in.Bool()) {
            record.firstValueSize = in.Any<uint32_t>();  // a size without data
        }
    } else {
        record.createdCommandLine = host.PathOrNull(in);
        if (processCreate) {
            record.createdImagePath = host.PathOrNull(in);
        } else {
            record.firstValueSize = in.Any<uint32_t>();
        }
    }
    std::vector<uint8_t> second = in.Bytes(600);
    record.secondValueSize = static_cast<uint32_t>(second.size());
    record.secondValueData = in.Bool() ? host.Block(std::move(second)) : nullptr;
    if (!record.secondValueData && in.Rarely()) {
        record.secondValueSize = in.Any<uint32_t>();
    }
    record.extBundle =
        in.Bool() ? HostBundle(in, host, "real_current_pid_time", in.Time()) : nullptr;
    return record;
}

// LAST_EVENT_FUZZER_TRACE=1 prints each run's verdict, for choosing seeds that reach the pop-up.
bool Tracing() {
    static const bool tracing = std::getenv("LAST_EVENT_FUZZER_TRACE") != nullptr;
    return tracing;
}

void Check(bool held, const char* what) {
    if (!held) {
        Fault(what);
    }
}

template <class Service>
void CheckReleased(const Service& service, const char* what) {
    Check(service.refs() == 0 && service.underflows() == 0, what);
}

void RunOne(FuzzedDataProvider& data) {
    const Baseline& baseline = Start();
    Choices in(data);
    Tree().Reset();
    g_objectsMade = g_objectsDestroyed = 0;
    g_objectBudget = std::numeric_limits<size_t>::max();
    {
        // The record and the target first: they decide the road the event takes, and the
        // input's later bytes run out before its first ones.
        HostileHost host;
        const tierlock::RkEventRecord record = BuildRecord(in, host);
        BuildTarget(in, host);
        ServeServices(in, host);
        AnswerServices(in, host);
        BuildTree(in);
        BuildCache(in, host);
        host.event = std::make_unique<HostileEvent>(record, !in.Rarely());
        const uint8_t engineKind = in.Rarely() ? in.Range<uint8_t>(1, 2) : 0;
        if (engineKind != 2) {
            host.engine =
                std::make_unique<simhost::RuleEngine>(engineKind ? nullptr : &host.target);
        }
        const bool enable2 = !in.Rarely();
        const bool secureApi = in.Bool();
        const bool uninit = in.Rarely();
        const int runs = in.Rarely() ? 2 : 1;
        const size_t budget = in.Rarely() ? in.Range<size_t>(0, 12) : 0;
        {
            tierlock::Tierlock plug;
            plug.Init(&host.framework, kConfig, static_cast<int32_t>(sizeof(kConfig) - 1));
            plug.SetEnable(tierlock::RKOPT_TIERLOCK_ENABLE, enable2);
            plug.SetEnable(tierlock::RKOPT_SERCUREAPI_IS_OPEN, secureApi);
            if (uninit) {
                plug.UnInit();
            }
            if (budget != 0) {
                g_objectBudget = g_objectsMade + budget - 1;
            }
            for (int run = 0; run < runs; ++run) {
                const size_t popups = host.framework.popups().size();
                const size_t attachments = host.event->attachments();
                const int32_t verdict = plug.LastProcessEvent(host.event.get(), host.engine.get());
                Check(verdict >= 0 && verdict <= 2, "verdict outside 0..2");
                const bool shown = host.framework.popups().size() == popups + 1 &&
                                   host.event->attachments() == attachments + 1;
                const bool untouched = host.framework.popups().size() == popups &&
                                       host.event->attachments() == attachments;
                Check(verdict == 0 ? untouched : shown, "pop-up and verdict disagree");
                if (Tracing()) {
                    std::fprintf(stderr, "verdict=%d class=%d rule=%u\n", verdict, record.Class,
                                 record.uRuleId);
                }
                Check(Tree().heldRoots() == 0, "a tree root was not given back");
                Check(Tree().releaseUnderflows() == 0, "a tree root was given back twice");
            }
            g_objectBudget = std::numeric_limits<size_t>::max();
        }
        tierlock::g_pFrame.Assign(nullptr);
        CheckReleased(host.fileInfo, "cache service reference");
        // The cloud engine is kept without a reference of its own, and the one the query
        // handed out is never given back: exactly that one may remain.
        Check(host.cloud.refs() == (host.cloudHandedOut ? 1u : 0u) && host.cloud.underflows() == 0,
              "cloud engine reference");
        CheckReleased(host.queryV1, "trust query v1 reference");
        CheckReleased(host.queryV2, "trust query v2 reference");
        CheckReleased(host.framework, "framework reference");
    }
    Check(Tree().ctrl()->refs() == baseline.ctrlRefs && Tree().ctrl()->underflows() == 0,
          "process tree reference");
    Check(Tree().helper()->refs() == baseline.helperRefs && Tree().helper()->underflows() == 0,
          "process tree helper reference");
    tierlock::ReleasePooledBundles();  // idle parameter bundles kept for the next event
    Check(g_objectsMade == g_objectsDestroyed, "a bundle or scan item was leaked");
}

}  // namespace

void RunHostileHostInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    RunOne(provider);
}
