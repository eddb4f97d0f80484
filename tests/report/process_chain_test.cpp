// The "ProcessChain" block as the host reads it, built from the event's process-information
// cache and from the process tree: entries in chain order, paths and levels, the process the
// chain belongs to, and every way the chain can be missing.
#include "report/process_chain.h"
#include "procsource/process_source.h"
#include "proctree/proctree.h"
#include "report_fixture.h"
#include "simhost/proc_tree.h"
#include "simhost/process_cache.h"
#include "testsupport/shared_tree.h"

namespace {

using namespace report_test;

constexpr const char* kCacheTag = "Tierlock::SetChainNodeInfo_V2";
constexpr const char* kTreeTag = "Tierlock::SetChainNodeInfo";

class ChainTest : public ReportTest {
  protected:
    void SetUp() override {
        ReportTest::SetUp();
        record_.Class = tierlock::kClassFile;
        record_.ProcessId = 30;
    }

    Bytes Block() { return StoredBlock(u"ProcessChain", 524); }
    bool HasBlock() { return ReadValue(bundle_, u"ProcessChain").present; }

    // Entry i's path and level.
    static std::pair<std::u16string, int32_t> Entry(const Bytes& bytes, size_t i) {
        return {TextAt(bytes, 4 + 524 * i, 260), I32At(bytes, 4 + 524 * i + 520)};
    }

    // The chain as the process source finds it for target.
    void Write(IRkRuleTarget* target, IRkBundle* bundle) {
        const tierlock::ProcessSource processes(target, tree_);
        tierlock::SetChainNodeInfo(processes, record_, &event_, bundle);
    }

    tierlock::TreeServices tree_;
};

class CacheChain : public ChainTest {
  protected:
    void SetUp() override {
        ChainTest::SetUp();
        target_.CarryCache(&cache_);
    }
    void Run() { Write(&target_, bundle_); }

    simhost::ProcessCache cache_;
    simhost::RuleTarget target_;
};

// Entries in the reverse of the host's order. A process without an id or a path leaves its entry
// zero; paths are converted and cut to 258 units, and a host record's path may fill its 260 units
// with no terminator; a level that cannot be read is -1.
TEST_F(CacheChain, EntriesPathsAndLevels) {
    const std::u16string longPath = u"D:\\" + std::u16string(297, u'q');
    cache_.AddProcess(30, 1, 20, u"");
    cache_.AddProcess(20, 2, 10, longPath);
    cache_.AddProcess(10, 3, 0, Sysnative(u"Cmd.exe"));
    cache_.AddProcess(0, std::nullopt, 0, u"C:\\none.exe");
    cache_.SetInt(20, "LEVEL", 50);
    cache_.SetInt(20, "SUB_LEVEL", 2);
    cache_.SetChain(30, {30, 20, 10, 0});
    Run();
    const Bytes bytes = Block();
    ASSERT_EQ(U32At(bytes, 0), 4u);
    EXPECT_TRUE(AllZero(bytes, 4, 524));
    EXPECT_EQ(Entry(bytes, 1), std::pair(System32(u"cmd.exe"), -1));
    EXPECT_EQ(Entry(bytes, 2), std::pair(longPath.substr(0, 258), 50));
    EXPECT_TRUE(AllZero(bytes, 4 + 2 * 524 + 516, 4));  // the last two units of the path
    EXPECT_TRUE(AllZero(bytes, 4 + 3 * 524, 524));
    EXPECT_TRUE(HasLine(kInfo, kCacheTag,
                        u"上报进程链信息：pid=10, path=" + System32(u"cmd.exe") + u", level=-1"));
    EXPECT_TRUE(HasLine(kInfo, kCacheTag, u"上报进程链信息进程路径为空：pid=30"));
    EXPECT_TRUE(HasLine(kInfo, kCacheTag, u"ItemPid=0"));
}

// Only a process start reports another process's chain (the tree chain's case: the pid is
// chosen before the route); a refused block is only logged.
TEST_F(CacheChain, OtherEventsReportTheActingProcesssChain) {
    cache_.AddProcess(30, 1, 0, u"C:\\acting.exe");
    cache_.AddProcess(40, 1, 0, u"C:\\created.exe");
    cache_.SetChain(30, {30});
    cache_.SetChain(40, {40});
    record_.TargetProcessId = 40;
    // A registry create-key event keeps its value type in the place of the created pid.
    for (const auto& [eventClass, operation] :
         {std::pair{tierlock::kClassProcess, 2}, {tierlock::kClassRegistry, 1}}) {
        record_.Class = eventClass;
        record_.operation = operation;
        Run();
        EXPECT_EQ(Entry(Block(), 0).first, u"C:\\acting.exe");
    }
    Write(&target_, nullptr);
    EXPECT_TRUE(HasLine(kInfo, kCacheTag, u"设置进程链信息错误：rkbundle error:2147942487"));
}

TEST_F(CacheChain, AMissingChainStoresNothing) {
    simhost::RuleTarget bare;  // no cache, and no tree services: the tree route says so
    Write(&bare, bundle_);
    EXPECT_TRUE(HasLine(kError, kCacheTag, u"获取进程信息缓存接口失败"));
    EXPECT_TRUE(HasLine(kError, "Tierlock::LastProcessEvent",
                        u"进程信息缓存中获取进程链失败使用进程树接口获取"));
    EXPECT_TRUE(HasLine(kError, kTreeTag, u"GetProcTree Fail"));

    Run();  // the host knows no chain for the process
    EXPECT_TRUE(HasLine(kError, kCacheTag, u"获取进程链失败"));
    cache_.SetChain(30, {});
    Run();
    EXPECT_TRUE(HasLine(kInfo, kCacheTag, u"进程链无节点"));
    EXPECT_FALSE(HasLine(kInfo, kCacheTag, u"ProcessChain内存申请失败"));  // not even tried
    EXPECT_FALSE(HasBlock());
}

class TreeChain : public ChainTest {
  protected:
    static simhost::ProcessTree& Tree() { return testsupport::SharedProcessTree(); }
    void SetUp() override {
        ChainTest::SetUp();
        ASSERT_TRUE(
            tierlock::rkProcTreeHelper::GetInstance()->init(Tree().ctrl(), Tree().helper()));
        tree_.procTree = Tree().ctrl();
        tree_.helperCtrl = Tree().helper();
    }
    void TearDown() override {
        for (uint32_t op = 0; op < static_cast<uint32_t>(simhost::TreeOp::Count); ++op) {
            Tree().SetFailing(static_cast<simhost::TreeOp>(op), false);
        }
        EXPECT_EQ(Tree().heldRoots(), 0u);
        EXPECT_EQ(Tree().releaseUnderflows(), 0u);
        ChainTest::TearDown();
    }
    // A process under parent with a fresh pid.
    static simhost::NodeId Add(const std::u16string& path, simhost::NodeId parent,
                               uint64_t createTime, uint32_t& pid) {
        pid = nextPid_ += 4;
        return Tree().AddProcess({pid, path, createTime, 0}, parent);
    }
    void Run() { Write(&target_, bundle_); }
    // Runs with the acting process's creation time in the record's bundle.
    void RunWithCreateTime(uint64_t createTime) {
        IASBundle* ext = nullptr;
        ASSERT_EQ(tierlock::CreateBundle(&ext), RK_S_OK);
        ext->PutInt64("real_current_pid_time", static_cast<uint32_t>(createTime), 0);
        event_.record.extBundle = ext;
        Run();
        ext->Release();
    }

    simhost::RuleTarget target_;  // carries no cache

    static inline uint32_t nextPid_ = 5000;
};

TEST_F(TreeChain, TwoProcessesTheSecondWithoutAPath) {
    uint32_t top = 0;
    uint32_t acting = 0;
    const auto topNode = Add(u"C:\\top.exe", 0, 0, top);
    Tree().SetInt32(topNode, "LEVEL", 40);
    Add(u"", topNode, 0, acting);
    record_.ProcessId = acting;
    record_.recordSize = 100;  // no extBundle layout
    Run();
    const Bytes bytes = Block();
    ASSERT_EQ(U32At(bytes, 0), 2u);
    EXPECT_EQ(Entry(bytes, 0), std::pair(std::u16string(u"C:\\top.exe"), 40));
    EXPECT_TRUE(AllZero(bytes, 4 + 524, 524));
    EXPECT_EQ(LinesTagged(kTreeTag), 3u);  // count, one entry, one empty path: no time line
}

TEST_F(TreeChain, TheCreationTimeComesFromTheRecordsBundle) {
    uint32_t pid = 0;
    Add(u"C:\\timed.exe", 0, 777, pid);
    record_.ProcessId = pid;
    RunWithCreateTime(777);
    const Bytes bytes = Block();
    EXPECT_EQ(Entry(bytes, 0), std::pair(std::u16string(u"C:\\timed.exe"), -1));
    EXPECT_TRUE(HasLine(kInfo, kTreeTag,
                        u"pid=" + simhost::ToUtf16(std::to_string(pid)) + u" create_time=777"));
}

// Without tree services at all: the cache chain's own case.
TEST_F(TreeChain, AMissingChainStoresNothing) {
    record_.ProcessId = 1;  // not in the tree
    Run();
    EXPECT_TRUE(HasLine(kError, kTreeTag, u"获取进程链失败"));

    uint32_t pid = 0;
    Add(u"C:\\x.exe", 0, 0, pid);
    record_.ProcessId = pid;
    Tree().SetFailing(simhost::TreeOp::GetNodePtr, true);  // the walk finds no node
    Run();
    EXPECT_TRUE(HasLine(kInfo, kTreeTag, u"成功获取到的进程链信息，节点数：0"));
    EXPECT_FALSE(HasBlock());
}

TEST_F(TreeChain, ACreatedProcessIsFoundByItsIdNotByTheActingProcesssTime) {
    uint32_t acting = 0;
    uint32_t created = 0;
    const auto actingNode = Add(u"C:\\installer.exe", 0, 777, acting);
    Add(u"C:\\setup.exe", actingNode, 999, created);
    record_.ProcessId = acting;
    record_.Class = tierlock::kClassProcess;
    record_.operation = 1;
    record_.TargetProcessId = created;
    RunWithCreateTime(777);
    const Bytes bytes = Block();
    ASSERT_EQ(U32At(bytes, 0), 2u);
    EXPECT_EQ(Entry(bytes, 0).first, u"C:\\installer.exe");
    EXPECT_EQ(Entry(bytes, 1).first, u"C:\\setup.exe");
    EXPECT_EQ(LinesTagged(kTreeTag), 3u);  // no time line: the time is not the created process's
}

}  // namespace
