// The target list as the host reads it from the request bundle: which items become entries and
// in which order, their heads and bodies decoded by byte offset, the lines written, and the
// danger items the trust service vouches for.
#include <cstring>
#include <map>

#include "report/report_block.h"
#include "report/target_list.h"
#include "report_fixture.h"
#include "testsupport/counting_memory.h"

namespace {

using namespace report_test;
using tierlock::RkItemRecord;

constexpr const char* kListTag = "Tierlock::SetTargetList";
constexpr const char* kItemTag = "Tierlock::BuildOneItem";
constexpr size_t kEntry = 7768;

// Creation times GetCreatetime finds, by pid, and the pids it was asked about.
std::map<uint32_t, uint64_t> g_createTimes;
std::vector<uint32_t> g_createTimeAsks;

bool FindCreateTime(uint32_t pid, uint64_t* createTime) {
    g_createTimeAsks.push_back(pid);
    auto it = g_createTimes.find(pid);
    if (it == g_createTimes.end()) {
        return false;
    }
    *createTime = it->second;
    return true;
}

class TargetList : public ReportTest {
  protected:
    void SetUp() override {
        ReportTest::SetUp();
        sources_.trust.queryV2 = &trust_;
        sources_.readCreateTime = &FindCreateTime;
        g_createTimes.clear();
        g_createTimeAsks.clear();
        record_.ProcessId = 10;
        record_.PPID = 5;
        record_.ProcessPath = u"C:\\src.exe";
        record_.ProcessCmd = u"src.exe -a";
    }
    void TearDown() override {
        ReportTest::TearDown();
        EXPECT_EQ(trust_.refs(), 0u);
    }

    RkItemRecord* Add(uint32_t type, const std::u16string& path, uint32_t pid = 0) {
        RkItemRecord* item = Item(type, path.c_str(), pid);
        item->engineKind = 3;
        target_.items[type] = item;
        return item;
    }

    bool Run(int32_t eventClass, int32_t operation, uint32_t reportType = 0) {
        record_.Class = eventClass;
        record_.operation = operation;
        return tierlock::SetTargetList(sources_, &target_, record_, bundle_, reportType);
    }

    Bytes Block() { return StoredBlock(u"TargetList", kEntry); }

    simhost::RuleTarget target_;
    simhost::TrustQueryV2 trust_;
};

// Offset of entry k's field.
constexpr size_t At(size_t k, size_t field) {
    return 4 + k * kEntry + field;
}

// Destinations first, then the dangers in item-type order; every path the host reads is in
// its system32 form, the extra paths of a file event included.
TEST_F(TargetList, FileEventListsDestinationsThenEachKindOfDanger) {
    const Bytes md5(16, 0xAB), sha1(20, 0xCD);
    Add(8, Sysnative(u"Dst.txt"));
    Add(16, u"C:\\dst16.txt");
    Add(1, u"C:\\scan.exe", 10);
    Add(4, Sysnative(u"Parent.exe"));
    Add(32, Sysnative(u"Mod.dll"))->scanItem->SetLevel(70);
    cache_.AnswerFile(Sysnative(u"Mod.dll"), {HexOf(md5), HexOf(sha1)});
    const std::u16string source = Sysnative(u"Src.exe");
    const std::u16string from = Sysnative(u"From.txt"), to = Sysnative(u"To.txt");
    record_.ProcessPath = source.c_str();
    record_.firstExtraPath = from.c_str();
    record_.secondExtraPath = to.c_str();
    ASSERT_TRUE(Run(tierlock::kClassFile, 3, 1 | 4 | 8 | 32));
    const Bytes bytes = Block();
    ASSERT_EQ(U32At(bytes, 0), 6u);
    const struct {
        uint32_t type, handling, pid, ppid;
        size_t pathAt;
        std::u16string path;
    } entries[] = {
        {0x80000002u, 2, 0, 0, 580, System32(u"dst.txt")},  // target files, flagged
        {0x80000002u, 2, 0, 0, 580, u"C:\\dst16.txt"},
        {4, 3, 10, 5, 588, System32(u"src.exe")},  // the acting process
        {4, 3, 5, 0, 588, System32(u"parent.exe")},
        {0x80000005u, 4, 0, 0, 580, System32(u"dst.txt")},  // danger files
        {5, 4, 0, 0, 580, System32(u"mod.dll")},
    };
    for (size_t k = 0; k < std::size(entries); ++k) {
        SCOPED_TRACE(k);
        // Type, engine kind, engine id (0: kind is not 6) and handling.
        EXPECT_EQ(U32sAt(bytes, At(k, 0), 4),
                  (std::vector<uint32_t>{entries[k].type, 3, 0, entries[k].handling}));
        EXPECT_EQ(TextAt(bytes, At(k, 16), 260), u"Trojan.Generic.B");
        EXPECT_EQ(TextAt(bytes, At(k, entries[k].pathAt), 260), entries[k].path);
        if (entries[k].pathAt == 588) {
            EXPECT_EQ(U32sAt(bytes, At(k, 580), 2), (std::vector{entries[k].pid, entries[k].ppid}));
        }
    }
    EXPECT_EQ(TextAt(bytes, At(2, 1108), 260), u"src.exe -a");
    for (size_t k : {0u, 4u}) {
        EXPECT_EQ(TextAt(bytes, At(k, 1100), 260), System32(u"from.txt"));
        EXPECT_EQ(TextAt(bytes, At(k, 1620), 260), System32(u"to.txt"));
    }
    EXPECT_EQ(I32At(bytes, At(5, 540)), 70);
    EXPECT_EQ(BytesAt(bytes, At(5, 544), 16), md5);
    EXPECT_EQ(BytesAt(bytes, At(5, 560), 20), sha1);

    EXPECT_TRUE(HasLine(kCore, kItemTag, u"fd添加目标文件:path=C:\\dst16.txt"));
    EXPECT_TRUE(HasLine(kCore, kItemTag, u"fd添加风险文件:path=" + System32(u"mod.dll")));
    EXPECT_TRUE(
        HasLine(kCore, kItemTag, u"fd添加风险进程:pid=10, ppid=5,process=" + System32(u"src.exe")));
    EXPECT_TRUE(HasLine(kCore, kItemTag,
                        u"\t\t\t引擎类型=3, 引擎id=0,目标类型=4, 处理类型=3, "
                        u"风险名=Trojan.Generic.B，风险类型=0"));
    EXPECT_TRUE(HasLine(kCore, kItemTag,
                        u"\t\t\t文件等级=70, md5=" + HexOf(md5) + u", sha1=" + HexOf(sha1)));
    EXPECT_TRUE(HasLine(kInfo, kListTag, u"GetReportDangerList Success size=4"));
    EXPECT_TRUE(HasLine(kInfo, kListTag, u"targetList.size=6 type=45"));
}

TEST_F(TargetList, RegistryEventPutsItsOwnEntryBeforeTheDanger) {
    Add(1, u"C:\\src.exe", 10);
    record_.drvReq.m_Registry.m_KeyName = u"HKLM\\Run";
    record_.valueName = u"x";
    ASSERT_TRUE(Run(tierlock::kClassRegistry, 6));
    const Bytes bytes = Block();
    ASSERT_EQ(U32At(bytes, 0), 2u);
    EXPECT_EQ(U32At(bytes, At(0, 0)), 3u);
    EXPECT_TRUE(AllZero(bytes, At(0, 4), 576));  // no item: no engine, handling or risk name
    EXPECT_EQ(TextAt(bytes, At(0, 580), 260), u"HKLM\\Run");
    EXPECT_EQ(std::pair(U32At(bytes, At(1, 0)), U32At(bytes, At(1, 12))), std::pair(4u, 3u));
    EXPECT_TRUE(HasLine(kCore, kItemTag, u"rd添加目标注册表:注册表改值:path=HKLM\\Run key=x"));
}

// The type-8 item of a process creation is both the destination and the danger; engine kind 6
// brings the engine id and the risk type.
TEST_F(TargetList, ProcessCreationReportsTheCreatedProcessTwice) {
    record_.TargetProcessId = 20;
    record_.createdImagePath = u"C:\\child.exe";
    auto* created = Add(8, u"C:\\child.exe", 20);
    created->engineKind = 6;
    created->scanItem->SetEngineId(77);
    created->scanItem->SetRiskType(9);
    created->scanItem->SetRiskName(u"Worm.X\0");
    ASSERT_TRUE(Run(tierlock::kClassProcess, 1));
    const Bytes bytes = Block();
    ASSERT_EQ(U32At(bytes, 0), 2u);
    const uint32_t types[] = {0x80000001u, 0x80000004u};
    for (size_t k : {0u, 1u}) {
        // A writer's label keeps the target handling, 2.
        EXPECT_EQ(U32sAt(bytes, At(k, 0), 4), (std::vector<uint32_t>{types[k], 6, 77, 2}));
        EXPECT_EQ(TextAt(bytes, At(k, 16), 260), u"Worm.X");
        EXPECT_EQ(U32At(bytes, At(k, 536)), 9u);
    }
    EXPECT_TRUE(
        HasLine(kCore, kItemTag, u"ad添加危险目标进程:pid=20, ppid=10,process=C:\\child.exe"));
}

// The risk name field takes the scan item's whole buffer up to its last unit: a name pair
// travels with the terminator between its names, a long name is cut, an empty one is not a name.
TEST_F(TargetList, RiskNamesFillTheWholeFieldUpToItsLastUnit) {
    struct Case {
        std::u16string set;     // what the engine stored, terminators included
        std::u16string stored;  // the field's units before its trailing zeros
    };
    const Case cases[] = {
        {std::u16string(u"first\0second", 13), std::u16string(u"first\0second", 12)},
        {std::u16string(259, u'n') + u'\0', std::u16string(259, u'n')},
        {std::u16string(300, u'n') + u'\0', std::u16string(259, u'n')},
        {std::u16string(1, u'\0'), u"Trojan.Generic.B"},
        {std::u16string(u"X\0", 2), u"X"},  // a one-unit name is a name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set.size());
        Add(1, u"C:\\src.exe", 10)->scanItem->SetRiskName(c.set.c_str());
        ASSERT_TRUE(Run(tierlock::kClassFile, 0));
        Bytes expected(520, 0);
        std::memcpy(expected.data(), c.stored.data(), c.stored.size() * sizeof(char16_t));
        EXPECT_EQ(BytesAt(Block(), At(0, 16), 520), expected);
    }
}

// Text fields take what fits and always end with a terminator: a path or a command line of
// 259 units fits exactly, 260 and more are cut to 259.
TEST_F(TargetList, TextFieldsAtAndPastTheirCapacity) {
    for (size_t length : {259u, 260u, 300u}) {
        SCOPED_TRACE(length);
        const std::u16string text = u"C:\\" + std::u16string(length - 3, u'p');
        Add(8, text);
        Add(1, u"C:\\src.exe");
        record_.ProcessCmd = text.c_str();
        ASSERT_TRUE(Run(tierlock::kClassFile, 0, 1));
        const Bytes bytes = Block();
        EXPECT_EQ(TextAt(bytes, At(0, 580), 260), text.substr(0, 259));
        EXPECT_EQ(TextAt(bytes, At(1, 1108), 260), text.substr(0, 259));
    }
}

TEST_F(TargetList, DangerFallsBackByEventClass) {
    struct Case {
        int32_t eventClass, operation;
        uint32_t reportType;
        std::vector<uint32_t> requested;  // item types asked for the danger list
    };
    const std::vector<Case> cases = {
        {tierlock::kClassFile, 0, 0, {1}},
        {tierlock::kClassRegistry, 0, 0, {1}},
        {tierlock::kClassProcess, 9, 0, {16}},
        {tierlock::kClassProcess, 2, 0, {8}},
        {tierlock::kClassFile, 0, 2, {2, 1}},  // report_type finds nothing: the class decides
        {7, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.eventClass * 100 + c.operation);
        simhost::RuleTarget target;
        record_.Class = c.eventClass;
        record_.operation = c.operation;
        std::vector<RkItemRecord*> list;
        tierlock::GetReportDangerList(&target, record_, c.reportType, list);
        std::vector<uint32_t> requested;
        for (const auto& request : target.itemRequests()) {
            requested.push_back(request.type);
        }
        EXPECT_EQ(requested, c.requested);
    }
}

// Only what the service vouches for is dropped. On a 64-bit system a sysnative path is asked
// about in its system32 form, and the verdict line names that form.
TEST_F(TargetList, TheTrustServiceDropsOnlyWhatItVouchesFor) {
    sources_.trust.isWin64 = true;
    Add(1, Sysnative(u"Trusted.exe"), 10)->scanItem->SetSubLevel(3);
    Add(2, Sysnative(u"Other.exe"), 11);
    Add(4, u"C:\\refused.exe", 12);
    trust_.Answer(System32(u"trusted.exe"), {true, 1, 0x40});
    trust_.Answer(System32(u"other.exe"), {true, 1, 0x20});
    trust_.Answer(u"C:\\refused.exe", {false, 1, 0x17});
    g_createTimes[10] = 1655526400000ull;
    ASSERT_TRUE(Run(tierlock::kClassFile, 0, 1 | 2 | 4));
    const Bytes bytes = Block();
    ASSERT_EQ(U32At(bytes, 0), 2u);
    EXPECT_EQ(U32At(bytes, At(0, 0)), 0u);   // a type-2 item has no body of its own
    EXPECT_EQ(U32At(bytes, At(0, 12)), 2u);  // and is handled as a target
    EXPECT_EQ(TextAt(bytes, At(1, 588), 260), u"C:\\refused.exe");

    const auto calls = trust_.calls();
    ASSERT_EQ(calls.size(), 3u);
    const auto& first = calls[0].parameters;
    EXPECT_EQ(std::tuple(first.at("sublevel").second, first.at("process_id").second,
                         first.at("process_create_time").second, first.at("match_type").second),
              std::tuple(3u, 10u, 1655526400000ull, 0x1DFu));
    EXPECT_EQ(calls[1].parameters.at("process_create_time").second, 0u);  // time unknown
    const std::u16string vouched = u"用户白名单 或 白签名，不报出. FilePath : ";
    const std::u16string reported = u"非用户白名单 或 白签名，报出. FilePath : ";
    EXPECT_TRUE(HasLine(kInfo, kListTag, vouched + System32(u"trusted.exe")));
    EXPECT_TRUE(HasLine(kInfo, kListTag, reported + System32(u"other.exe")));
    EXPECT_TRUE(HasLine(kInfo, kListTag, reported + u"C:\\refused.exe"));
}

// Only the second version sends a creation time, so only then is the process looked up;
// without any service every item is reported.
TEST_F(TargetList, TheCreationTimeIsReadOnlyWhenItIsSent) {
    simhost::TrustQueryV1 v1;
    sources_.trust.queryV2 = nullptr;
    sources_.trust.queryV1 = &v1;
    Add(1, u"C:\\src.exe", 10);
    g_createTimes[10] = 1655526400000ull;
    ASSERT_TRUE(Run(tierlock::kClassFile, 0));
    EXPECT_EQ(v1.calls().size(), 1u);
    EXPECT_TRUE(g_createTimeAsks.empty());

    sources_.trust.queryV2 = &trust_;
    ASSERT_TRUE(Run(tierlock::kClassFile, 0));
    EXPECT_EQ(g_createTimeAsks, std::vector<uint32_t>{10});
    EXPECT_EQ(v1.calls().size(), 1u);
    EXPECT_EQ(v1.refs(), 0u);

    sources_.trust = {};
    trust_.Answer(u"C:\\src.exe", {true, 1, 0x1});
    ASSERT_TRUE(Run(tierlock::kClassFile, 0));
    EXPECT_EQ(U32At(Block(), 0), 1u);
    EXPECT_EQ(trust_.calls().size(), 1u);
}

TEST_F(TargetList, NothingLeftToReportIsFalseAndStoresNothing) {
    struct Case {
        bool hasTarget;
        bool hasItem;
        const char16_t* error;
    };
    const std::vector<Case> cases = {
        {false, true, u"GetTarget Fail"},
        {true, false, u"SetTargetList 没找到风险项"},
        {true, true, u"过白后风险项为空"},  // every item vouched for
    };
    trust_.Answer(u"C:\\trusted.exe", {true, 1, 0x1});
    for (const Case& c : cases) {
        SCOPED_TRACE(simhost::ToUtf8(c.error));
        framework_.ClearLog();
        target_.items.clear();
        if (c.hasItem) {
            Add(1, u"C:\\trusted.exe");
        }
        Add(8, u"C:\\dst.txt");
        record_.Class = tierlock::kClassFile;
        EXPECT_FALSE(tierlock::SetTargetList(sources_, c.hasTarget ? &target_ : nullptr, record_,
                                             bundle_, 0));
        EXPECT_TRUE(HasLine(kError, kListTag, c.error));
        EXPECT_FALSE(ReadValue(bundle_, u"TargetList").present);
    }
}

// A block the bundle refuses is logged and the event still reported; no block is made for
// nothing, or for more than a bundle value can hold.
TEST_F(TargetList, ARefusedBlockIsLoggedAndStillReported) {
    EXPECT_FALSE(tierlock::TargetListBlock(0));
    EXPECT_FALSE(tierlock::TargetListBlock(0x7FFFFFFF / kEntry + 1));
    Add(1, u"C:\\src.exe");
    tierlock::SetBundleMemory(&testsupport::CountingMemory());
    testsupport::Bundles().failValues = true;
    EXPECT_TRUE(Run(tierlock::kClassFile, 0));
    testsupport::Bundles().failValues = false;
    tierlock::SetBundleMemory(nullptr);
    EXPECT_TRUE(HasLine(kError, kListTag, u"BuildTargetList rkbundle set error:-2147024882"));
}

// In a process event the places of a file event's extra paths hold a pid, never to be read as
// a path.
TEST_F(TargetList, ExtraPathsAreReadOnlyFromFileEvents) {
    Add(8, u"C:\\dst.txt");
    Add(1, u"C:\\src.exe");
    record_.firstExtraPath = u"C:\\from.txt";
    record_.TargetProcessId = 0x1234;
    ASSERT_TRUE(Run(tierlock::kClassProcess, 3));
    const Bytes bytes = Block();
    EXPECT_EQ(U32At(bytes, 0), 2u);
    EXPECT_TRUE(AllZero(bytes, At(0, 1100), 1040));
}

}  // namespace
