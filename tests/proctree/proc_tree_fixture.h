// One simulated process tree for the whole test process: the helper is process-wide and keeps
// the first pair of services it is given. Each test adds its own processes with fresh pids;
// the roots a test holds are given back after it, and then none may remain held.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "log/log.h"
#include "proctree/proctree.h"
#include "simhost/framework.h"
#include "simhost/proc_tree.h"
#include "simhost/text.h"
#include "testsupport/shared_tree.h"

struct Proc {
    simhost::NodeId id;
    uint32_t pid, ptr;
};

inline std::u16string Num(uint64_t value) {
    return simhost::ToUtf16(std::to_string(value));
}

class ProcTreeTest : public ::testing::Test {
  protected:
    static simhost::ProcessTree& Tree() { return testsupport::SharedProcessTree(); }

    void SetUp() override {
        tierlock::g_pFrame.Assign(&framework_);
        ASSERT_TRUE(helper_->init(Tree().ctrl(), Tree().helper()));
        Tree().ClearCalls();
    }
    void TearDown() override {
        for (uint32_t op = 0; op < static_cast<uint32_t>(simhost::TreeOp::Count); ++op) {
            Tree().SetFailing(static_cast<simhost::TreeOp>(op), false);
        }
        tierlock::g_pFrame.Reset();
        for (uint32_t root : held_) {
            Tree().ctrl()->ReleaseRoot(root);
        }
        EXPECT_EQ(Tree().heldRoots(), 0u);
        EXPECT_EQ(Tree().releaseUnderflows(), 0u);
    }

    static Proc Add(const std::u16string& path, simhost::NodeId parent = 0, uint64_t createTime = 0,
                    uint32_t pid = nextPid_ += 4) {
        const simhost::NodeId id = Tree().AddProcess({pid, path, createTime, 0}, parent);
        return {id, pid, Tree().NodePtrOf(id)};
    }

    // A root for the process's tree, looked up through the host as a caller would.
    uint32_t Hold(const Proc& proc) {
        uint32_t root = 0;
        uint32_t node = 0;
        EXPECT_TRUE(Tree().ctrl()->FindNodeByPid(proc.pid, nullptr, &root, &node));
        held_.push_back(root);
        return root;
    }

    bool HasLine(int32_t level, const std::string& operation, const std::u16string& message) const {
        const auto texts = framework_.texts();
        const auto line = simhost::LogLine(level, "rkProcTreeHelper::" + operation, message);
        return std::find(texts.begin(), texts.end(), line) != texts.end();
    }

    simhost::Framework framework_;
    tierlock::rkProcTreeHelper* helper_ = tierlock::rkProcTreeHelper::GetInstance();
    std::vector<uint32_t> held_;
    static inline uint32_t nextPid_ = 1000;
};
