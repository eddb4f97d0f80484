// The detail writers, each entry decoded by byte offset: file digests from the cache through
// the base component, the registry body of every registry operation, and the processes of a
// process-creation event.
#include "report/event_details.h"
#include "bundle/memory.h"
#include "hostpath/host_path.h"
#include "report_fixture.h"
#include "testsupport/counting_memory.h"

namespace {

using namespace report_test;
using tierlock::SetCommInfo;

const Bytes kMd5 = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                    0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
const Bytes kSha1 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0xFE};

class EventDetails : public ReportTest {};

TEST_F(EventDetails, ConvertFilePathMapsSysnativeAndLogsOnlyAChange) {
    const std::u16string sysnative = Sysnative(u"Drivers\\X.sys");
    const std::u16string converted = tierlock::ConvertFilePath(sysnative.c_str());
    EXPECT_EQ(converted, System32(u"drivers\\x.sys"));
    EXPECT_TRUE(HasLine(kInfo, "ConvertFilePath",
                        u"SysnativeToSystem32: old=" + sysnative + u" , new=" + converted));

    framework_.ClearLog();
    EXPECT_EQ(tierlock::ConvertFilePath(u"D:\\Tools\\A.exe"), u"D:\\Tools\\A.exe");
    EXPECT_EQ(tierlock::ConvertFilePath(nullptr), u"");
    EXPECT_TRUE(framework_.texts().empty());
}

// An empty digest is looked up in the cache and decoded by the base component, one already set
// is refreshed from the scan item; what cannot be had stays zero, and a long answer fills the
// field and no more.
TEST_F(EventDetails, DigestsFromTheCacheOrTheScanItem) {
    struct Case {
        const char* name;
        std::u16string md5;  // the cache's text
        bool cache, component, preset;
        int32_t decodeStatus;
        Bytes md5Field;
        std::u16string md5Text;
        bool sha1Decoded;
        size_t lookups;
    };
    const std::u16string zeros = HexOf(Bytes(16, 0));
    const Case cases[] = {
        {"short text", u"ABC", true, true, false, 0, Bytes(16, 0), zeros, true, 2},
        {"no cache", HexOf(kMd5), false, true, false, 0, Bytes(16, 0), zeros, false, 0},
        {"no base component", HexOf(kMd5), true, false, false, 0, Bytes(16, 0), u"", false, 2},
        {"refused", HexOf(kMd5), true, true, false, 1, Bytes(16, 0), zeros, false, 2},
        {"long", HexOf(Bytes(600, 0xAB)), true, true, false, 0, Bytes(16, 0xAB),
         HexOf(Bytes(16, 0xAB)), true, 2},
        {"already set", HexOf(Bytes(16, 0x77)), true, true, true, 0, kMd5, HexOf(kMd5), true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simhost::CacheService cache;
        cache.AnswerFile(u"C:\\b.exe", {c.md5, HexOf(kSha1)});
        sources_.digests.cache = c.cache ? &cache : nullptr;
        g_component = c.component ? &component_ : nullptr;
        component_.SetDecodeStatus(c.decodeStatus);
        auto* item = Item(8, u"C:\\b.exe");
        item->scanItem->SetMd5(kMd5.data(), 16);
        auto& entry = Entry();
        entry.md5[0] = c.preset ? 1 : 0;
        std::u16string md5Text, sha1Text = u"kept";
        SetCommInfo(sources_.digests, item, entry, md5Text, sha1Text);
        const Bytes sha1 = c.sha1Decoded ? kSha1 : Bytes(20, 0);
        EXPECT_EQ(BytesAt(EntryBytes(entry), 544, 16), c.md5Field);
        EXPECT_EQ(BytesAt(EntryBytes(entry), 560, 20), sha1);
        EXPECT_EQ(std::tuple(md5Text, sha1Text, cache.calls()),
                  std::tuple(c.md5Text, c.component ? HexOf(sha1) : u"kept", c.lookups));
    }
}

TEST_F(EventDetails, NoParameterBundleEndsTheLookup) {
    testsupport::Bundles().Reset();
    testsupport::Bundles().objectBudget = 0;
    cache_.AnswerFile(u"C:\\d.exe", {HexOf(kMd5), HexOf(kSha1)});
    auto* item = Item(8, u"C:\\d.exe");
    auto& entry = Entry();
    std::u16string md5Text, sha1Text;
    tierlock::SetBundleMemory(&testsupport::CountingMemory());
    SetCommInfo(sources_.digests, item, entry, md5Text, sha1Text);
    tierlock::SetBundleMemory(nullptr);
    EXPECT_EQ(framework_.textsTagged("Tierlock::SetCommInfo"),
              std::vector<std::u16string>{simhost::LogLine(kError, "Tierlock::SetCommInfo",
                                                           u"bundleptr create instance failed")});
    EXPECT_EQ(std::tuple(md5Text, sha1Text, cache_.calls()), std::tuple(u"", u"", 0u));
}

class RegistryDetails : public ReportTest {
  protected:
    // Runs SetRegInfo for operation; returns the entry's bytes and the detail.
    Bytes Run(int32_t operation, std::u16string& detail) {
        record_.Class = tierlock::kClassRegistry;
        record_.operation = operation;
        auto& entry = Entry();
        tierlock::SetRegInfo(record_, nullptr, entry, detail);
        return EntryBytes(entry);
    }
    static constexpr const char* kTag = "Tierlock::SetRegInfo";
};

// A changed value keeps its new data in the second block and its old data in the first, a
// deleted one its data in the first; each cut to its 1024-byte field.
TEST_F(RegistryDetails, ValueDataBlocksCutToTheirFields) {
    const std::string newData = std::string(1024, 'n') + std::string(1976, 'x');
    const struct {
        int32_t operation;
        uint32_t valueType;
        Bytes firstBlock, secondBlock;  // at 5720 and 6744
        std::u16string detail;
    } cases[] = {
        {tierlock::kRegistrySetValue,
         1,
         {'o', 'l', 'd', 0},
         Bytes(1024, 'n'),
         u"注册表改值:path=HKLM\\Software\\Run key=Updater"},
        {tierlock::kRegistryDeleteValue, 4, Bytes(1024, 'n'), Bytes(1024, 0),
         u"注册表删除:path=HKLM\\Software\\Run key=Updater"},
    };
    record_.drvReq.m_Registry.m_KeyName = u"HKLM\\Software\\Run";
    record_.valueName = u"Updater";
    record_.firstValueData = newData.data();
    record_.firstValueSize = 3000;
    record_.secondValueData = "old";
    record_.secondValueSize = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        record_.valueType = c.valueType;
        std::u16string detail;
        const Bytes bytes = Run(c.operation, detail);
        EXPECT_EQ(U32At(bytes, 5716), c.valueType);
        EXPECT_EQ(BytesAt(bytes, 5720, c.firstBlock.size()), c.firstBlock);
        EXPECT_EQ(BytesAt(bytes, 6744, 1024), c.secondBlock);
        EXPECT_TRUE(AllZero(bytes, 3668, 2048));
        EXPECT_EQ(detail, c.detail);
    }
}

TEST_F(RegistryDetails, EveryOperationFillsItsFieldsAndDetail) {
    struct Case {
        int32_t operation;
        const char16_t* keyName;
        const char16_t* secondName;  // value name or new key name
        std::u16string detail;
        std::u16string at1100, at3668;  // value name, and created or new key name
        const char16_t* error;          // the ERROR line, if any
    };
    const std::vector<Case> cases = {
        {1, u"HKCU\\A", u"V", u"注册表创建:path=HKCU\\A key=HKCU\\A", u"", u"HKCU\\A", nullptr},
        {5, u"HKCU\\A", u"B", u"注册表重命名:path=HKCU\\A key=B", u"", u"B", nullptr},
        {5, u"HKCU\\A", nullptr, u"注册表重命名:path=HKCU\\A key=", u"", u"",
         u"drvReq.m_Registry.m_RenameKey.m_TargetName=NULL"},
        {6, u"HKCU\\A", nullptr, u"注册表改值:path=HKCU\\A key=", u"", u"",
         u"drvReq.m_Registry.m_ValueName=NULL"},
        {7, u"HKCU\\A", u"V", u"注册表删除:path=HKCU\\A key=V", u"V", u"", nullptr},
        {7, u"HKCU\\A", nullptr, u"注册表删除:path=HKCU\\A key=", u"", u"",
         u"drvReq.m_Registry.m_DeleteValueKey.m_ValueName=NULL"},
        {2, u"HKCU\\A", u"V", u"", u"", u"", nullptr},
        {1, nullptr, nullptr, u"注册表创建:path= key=", u"", u"",
         u"drvReq.m_Registry.m_KeyName=NULL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        framework_.ClearLog();
        record_.drvReq.m_Registry.m_KeyName = c.keyName;
        record_.valueName = c.secondName;
        std::u16string detail;
        const Bytes bytes = Run(c.operation, detail);
        EXPECT_EQ(detail, c.detail);
        EXPECT_EQ(U32At(bytes, 0), 3u);
        EXPECT_EQ(TextAt(bytes, 580, 260), c.keyName ? c.keyName : u"");
        EXPECT_EQ(TextAt(bytes, 1100, 260), c.at1100);
        EXPECT_EQ(TextAt(bytes, 3668, 1024), c.at3668);
        EXPECT_EQ(LinesTagged(kTag), c.error ? 1u : 0u);
        if (c.error) {
            EXPECT_TRUE(HasLine(kError, kTag, c.error));
        }
    }
}

// Names longer than their fields stop one unit short, the last unit staying 0: 259 units at
// 580 and 1100, 1023 at 3668.
TEST_F(RegistryDetails, NamesAreCutAtTheirFieldLimits) {
    const std::u16string key(1100, u'k'), value(300, u'v');
    record_.drvReq.m_Registry.m_KeyName = key.c_str();
    record_.valueName = value.c_str();
    std::u16string detail;
    Bytes bytes = Run(tierlock::kRegistryCreateKey, detail);
    EXPECT_EQ(TextAt(bytes, 580, 260), key.substr(0, 259));
    EXPECT_EQ(TextAt(bytes, 3668, 1024), key.substr(0, 1023));
    bytes = Run(tierlock::kRegistryDeleteValue, detail);
    EXPECT_EQ(TextAt(bytes, 1100, 260), value.substr(0, 259));
}

class ProcessCreateDetails : public ReportTest {
  protected:
    void SetUp() override {
        ReportTest::SetUp();
        record_.Class = tierlock::kClassProcess;
        record_.operation = tierlock::kProcessCreate;
        record_.ProcessId = 10;
        record_.PPID = 5;
        record_.ProcessPath = u"C:\\parent\\src.exe";
        record_.ProcessCmd = u"src.exe /run";
        record_.TargetProcessId = 20;
        record_.createdCommandLine = u"child.exe /x";
        record_.createdImagePath = created_.c_str();
    }
    // Sysnative paths, which reach the entries in their system32 form.
    const std::u16string created_ = Sysnative(u"Child.exe"), scan_ = Sysnative(u"Scan.exe");
};

TEST_F(ProcessCreateDetails, EachItemKindNamesItsProcess) {
    struct Case {
        bool danger;
        uint32_t itemType;
        uint32_t targetType;
        uint32_t pid, ppid;
        std::u16string image, command, label;
    };
    const std::vector<Case> cases = {
        {false, 1, 0x80000001u, 20, 10, System32(u"child.exe"), u"child.exe /x", u"目标进程"},
        {true, 1 | 8, 4, 10, 5, u"C:\\parent\\src.exe", u"src.exe /run", u"危险来源进程"},
        {true, 8 | 0x40, 0x80000004u, 20, 10, System32(u"child.exe"), u"child.exe /x",
         u"危险目标进程"},
        {true, 0x40 | 4, 0x80000004u, 20, 10, System32(u"scan.exe"), u"child.exe /x",
         u"危险目标进程命令行"},
        {true, 4 | 0x20, 4, 5, 0, System32(u"scan.exe"), u"", u"危险父进程"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(simhost::ToUtf8(c.label));
        auto& entry = Entry();
        std::u16string label;
        tierlock::SetProcessCreateInfo(label, c.danger, record_, Item(c.itemType, scan_.c_str()),
                                       entry);
        const Bytes bytes = EntryBytes(entry);
        EXPECT_EQ(U32At(bytes, 0), c.targetType);
        EXPECT_EQ(U32sAt(bytes, 580, 2), (std::vector{c.pid, c.ppid}));
        EXPECT_EQ(std::tuple(TextAt(bytes, 588, 260), TextAt(bytes, 1108, 260), label),
                  std::tuple(c.image, c.command, c.label));
        EXPECT_TRUE(AllZero(bytes, 4, 576));
    }
    EXPECT_EQ(LinesTagged("SetProcessCreateInfo"), 0u);
}

TEST_F(ProcessCreateDetails, AThreadModuleIsAFileAndAnUnknownItemOnlyLogged) {
    auto& module = Entry();
    std::u16string label;
    tierlock::SetProcessCreateInfo(label, true, record_, Item(0x20, scan_.c_str()), module);
    EXPECT_EQ(U32At(EntryBytes(module), 0), 5u);
    EXPECT_EQ(TextAt(EntryBytes(module), 580, 260), System32(u"scan.exe"));
    EXPECT_EQ(label, u"危险线程模块");

    label.clear();
    auto& unknown = Entry();
    tierlock::SetProcessCreateInfo(label, true, record_, Item(2, u"C:\\odd.exe"), unknown);
    EXPECT_EQ(U32At(EntryBytes(unknown), 0), 4u);
    EXPECT_TRUE(AllZero(EntryBytes(unknown), 4, 7764));
    EXPECT_EQ(label, u"");
    EXPECT_TRUE(HasLine(kError, "SetProcessCreateInfo", u"C:\\odd.exe 不是源也不是目标"));
    tierlock::SetProcessCreateInfo(label, true, record_, Item(2, nullptr), Entry());
    EXPECT_TRUE(HasLine(kError, "SetProcessCreateInfo", u" 不是源也不是目标"));
}

}  // namespace
