// The process-wide helper before and at its initialisation. Its own executable: the instance
// keeps the first pair of services for the rest of the process.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "log/log.h"
#include "proctree/proctree.h"
#include "simhost/framework.h"
#include "simhost/proc_tree.h"
#include "simhost/text.h"

namespace {

using tierlock::rkProcTreeHelper;

TEST(ProcTreeHelperInit, GuardUntilInitThenTheFirstPairWins) {
    // Created once, whichever thread comes first.
    std::atomic<rkProcTreeHelper*> seen[8] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen) {
        threads.emplace_back([&slot] { slot = rkProcTreeHelper::GetInstance(); });
    }
    for (size_t i = 0; i < threads.size(); ++i) {
        threads[i].join();
        EXPECT_EQ(seen[i].load(), rkProcTreeHelper::GetInstance());
    }
    rkProcTreeHelper* helper = rkProcTreeHelper::GetInstance();

    simhost::Framework framework;
    tierlock::g_pFrame.Assign(&framework);
    uint32_t root = 0, node = 0, pid = 0;
    int32_t level = 0, sub = 0;
    const uint64_t time = 0;
    std::vector<uint32_t> nodes;
    std::u16string path;
    // Aggregates run their initialisers in order, so the log lines follow the table.
    const std::pair<const char*, bool> answers[] = {
        {"FindNode", helper->FindNode(8, root, node, &time)},
        {"GetPPidByPid", helper->GetPPidByPid(8, &time, pid)},
        {"GetRootPid", helper->GetRootPid(1, 1, pid)},
        {"GetAllNodePtr", helper->GetAllNodePtr(1, 1, nodes)},
        {"GetPathByRootOffset", helper->GetPathByRootOffset(1, 1, 8, true, path)},
        {"GetPathByNodeOffset", helper->GetPathByNodeOffset(1, 1, 1, 8, false, path)},
        {"GetLevelAndSubByRootOffset", helper->GetLevelAndSubByRootOffset(1, 1, &level, &sub)},
        {"GetLevelAndSubByNodeOffset", helper->GetLevelAndSubByNodeOffset(1, 1, 1, &level, &sub)},
        {"FixLevel_is_Exist_ByRootOffset", helper->FixLevel_is_Exist_ByRootOffset(1, 1)},
        {"SetLevelByPid", helper->SetLevelByPid(8, 70, &time)},
        {"SetSubLevelByPid", helper->SetSubLevelByPid(8, 3, &time)},
        {"SetPropByPid", helper->SetPropByPid(8, u"x", &time)}};
    std::vector<std::u16string> expected;
    for (const auto& [operation, answer] : answers) {
        EXPECT_FALSE(answer) << operation;
        expected.push_back(simhost::LogLine(30, std::string("rkProcTreeHelper::") + operation,
                                            u"对象未初始化，请初始化"));
    }
    EXPECT_EQ(framework.texts(), expected);
    // The operations without a guard of their own answer false rather than reach a null host.
    uint64_t ttl = 0;
    EXPECT_FALSE(helper->GetChildNodes(1, 1, 1, nodes));
    EXPECT_FALSE(helper->isValidFixLevel(1, 1, 1));
    EXPECT_FALSE(helper->GetIntValue(1, 1, 1, "LEVEL", level));
    EXPECT_FALSE(helper->GetInt64Value(1, 1, 1, "FLVL_TTL", ttl));
    EXPECT_FALSE(helper->GetwstrValue(1, 1, 1, "CURRENT_CONVERT_PATH", path));

    // Live until the process ends, as the helper keeps pointing at the first.
    static simhost::ProcessTree first;
    static simhost::ProcessTree second;
    framework.ClearLog();
    EXPECT_FALSE(helper->init(first.ctrl(), nullptr));
    EXPECT_FALSE(helper->init(nullptr, first.helper()));
    const std::u16string refused = simhost::LogLine(35, "rkProcTreeHelper::init", u"输入错误");
    EXPECT_EQ(framework.texts(), (std::vector{refused, refused}));
    EXPECT_FALSE(helper->FindNode(8, root, node, &time));

    EXPECT_TRUE(helper->init(first.ctrl(), first.helper()));
    EXPECT_TRUE(helper->init(second.ctrl(), second.helper()));
    first.AddProcess({42, u"C:\\a.exe", 0, 0});
    EXPECT_TRUE(helper->FindNode(42, root, node, nullptr));
    first.ctrl()->ReleaseRoot(root);
    // Nothing took or dropped a reference on the services.
    EXPECT_EQ(first.ctrl()->adds() + first.helper()->adds(), 0u);
    tierlock::g_pFrame.Reset();
}

}  // namespace
