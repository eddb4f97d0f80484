// One simulated process tree for the whole test process: the helper is process-wide and keeps
// the first pair of services it is given. Each test adds its own processes with fresh pids,
// and must leave no root held.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "log/log.h"
#include "proctree/proctree.h"
#include "simhost/framework.h"
#include "simhost/proc_tree.h"
#include "simhost/text.h"

struct Proc {
    simhost::NodeId id;
    uint32_t pid;
};

class ProcTreeTest : public ::testing::Test {
  protected:
    static simhost::ProcessTree& Tree() {
        static auto* tree = new simhost::ProcessTree();  // outlives the helper that points at it
        return *tree;
    }

    void SetUp() override {
        tierlock::g_pFrame = &framework_;
        ASSERT_TRUE(helper_->init(Tree().ctrl(), Tree().helper()));
        Tree().ClearCalls();
        framework_.ClearLog();
    }
    void TearDown() override {
        for (uint32_t op = 0; op < static_cast<uint32_t>(simhost::TreeOp::Count); ++op) {
            Tree().SetFailing(static_cast<simhost::TreeOp>(op), false);
        }
        tierlock::g_pFrame = nullptr;
        EXPECT_EQ(Tree().heldRoots(), 0u);
        EXPECT_EQ(Tree().releaseUnderflows(), 0u);
    }

    static Proc Add(const std::u16string& path, simhost::NodeId parent = 0, uint64_t createTime = 0,
                    uint32_t pid = NextPid()) {
        return {Tree().AddProcess({pid, path, createTime, 0}, parent), pid};
    }

    static uint32_t NextPid() {
        static uint32_t pid = 1000;
        return pid += 4;
    }

    // A held root for the process's tree, looked up through the host as a caller would.
    static uint32_t Hold(const Proc& proc) {
        uint32_t root = 0;
        uint32_t node = 0;
        EXPECT_TRUE(Tree().ctrl()->FindNodeByPid(proc.pid, nullptr, &root, &node));
        return root;
    }
    static void Release(uint32_t root) { Tree().ctrl()->ReleaseRoot(root); }

    bool HasLine(int32_t level, const std::string& operation, const std::u16string& message) const {
        const std::u16string line =
            simhost::LogLine(level, "rkProcTreeHelper::" + operation, message);
        for (const auto& text : framework_.texts()) {
            if (text == line) {
                return true;
            }
        }
        return false;
    }

    simhost::Framework framework_;
    tierlock::rkProcTreeHelper* helper_ = tierlock::rkProcTreeHelper::GetInstance();
};
