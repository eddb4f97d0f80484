// The process-wide helper before and at its initialisation. Its own executable: the instance
// keeps the first pair of services for the rest of the process.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
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
    std::vector<std::thread> threads;
    std::atomic<rkProcTreeHelper*> seen[8] = {};
    for (auto& slot : seen) {
        threads.emplace_back([&slot] { slot = rkProcTreeHelper::GetInstance(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    rkProcTreeHelper* helper = rkProcTreeHelper::GetInstance();
    for (auto& slot : seen) {
        EXPECT_EQ(slot.load(), helper);
    }

    simhost::Framework framework;
    tierlock::g_pFrame = &framework;
    // Live until the process ends, as the helper keeps pointing at the first.
    static simhost::ProcessTree firstTree;
    static simhost::ProcessTree secondTree;
    simhost::ProcessTree* first = &firstTree;
    simhost::ProcessTree* second = &secondTree;

    uint32_t root = 0, node = 0, pid = 0;
    int32_t level = 0, subLevel = 0;
    const uint64_t time = 0;
    std::vector<uint32_t> nodes;
    std::u16string path;
    EXPECT_FALSE(helper->FindNode(8, root, node, &time));
    EXPECT_FALSE(helper->GetPPidByPid(8, &time, pid));
    EXPECT_FALSE(helper->GetRootPid(1, 1, pid));
    EXPECT_FALSE(helper->GetAllNodePtr(1, 1, nodes));
    EXPECT_FALSE(helper->GetPathByRootOffset(1, 1, 8, true, path));
    EXPECT_FALSE(helper->GetPathByNodeOffset(1, 1, 1, 8, false, path));
    EXPECT_FALSE(helper->GetLevelAndSubByRootOffset(1, 1, &level, &subLevel));
    EXPECT_FALSE(helper->GetLevelAndSubByNodeOffset(1, 1, 1, &level, &subLevel));
    EXPECT_FALSE(helper->FixLevel_is_Exist_ByRootOffset(1, 1));
    EXPECT_FALSE(helper->SetLevelByPid(8, 70, &time));
    EXPECT_FALSE(helper->SetSubLevelByPid(8, 3, &time));
    EXPECT_FALSE(helper->SetPropByPid(8, u"x", &time));
    const std::vector<std::string> guarded = {"FindNode",
                                              "GetPPidByPid",
                                              "GetRootPid",
                                              "GetAllNodePtr",
                                              "GetPathByRootOffset",
                                              "GetPathByNodeOffset",
                                              "GetLevelAndSubByRootOffset",
                                              "GetLevelAndSubByNodeOffset",
                                              "FixLevel_is_Exist_ByRootOffset",
                                              "SetLevelByPid",
                                              "SetSubLevelByPid",
                                              "SetPropByPid"};
    std::vector<std::u16string> expected;
    for (const auto& operation : guarded) {
        expected.push_back(
            simhost::LogLine(30, "rkProcTreeHelper::" + operation, u"对象未初始化，请初始化"));
    }
    EXPECT_EQ(framework.texts(), expected);

    framework.ClearLog();
    EXPECT_FALSE(helper->init(first->ctrl(), nullptr));
    EXPECT_FALSE(helper->init(nullptr, first->helper()));
    const std::u16string refused = simhost::LogLine(35, "rkProcTreeHelper::init", u"输入错误");
    EXPECT_EQ(framework.texts(), (std::vector<std::u16string>{refused, refused}));
    EXPECT_FALSE(helper->FindNode(8, root, node, &time));

    EXPECT_TRUE(helper->init(first->ctrl(), first->helper()));
    EXPECT_TRUE(helper->init(second->ctrl(), second->helper()));
    first->AddProcess({42, u"C:\\a.exe", 0, 0});
    second->AddProcess({43, u"C:\\b.exe", 0, 0});
    EXPECT_TRUE(helper->FindNode(42, root, node, nullptr));
    first->ctrl()->ReleaseRoot(root);
    EXPECT_FALSE(helper->FindNode(43, root, node, nullptr));
    EXPECT_EQ(second->calls(simhost::TreeOp::FindNodeByPid), 0u);
    EXPECT_EQ(first->heldRoots(), 0u);
    // Nothing took or dropped a reference on the services.
    EXPECT_EQ(first->ctrl()->adds() + first->helper()->adds(), 0u);
    tierlock::g_pFrame = nullptr;
}

}  // namespace
