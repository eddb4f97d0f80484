// The tree helper on the fixture of level resolution, over the one shared tree. Each test adds
// its own processes with fresh pids; the roots a test holds are given back after it, and then
// none may remain held.
#pragma once

#include "levels/level_fixture.h"

struct Proc {
    simhost::NodeId id;
    uint32_t pid, ptr;
};

using level_test::Num;

class ProcTreeTest : public level_test::LevelTest {
  protected:
    void TearDown() override {
        for (uint32_t root : held_) {
            Tree().ctrl()->ReleaseRoot(root);
        }
        LevelTest::TearDown();
    }

    static Proc Add(const std::u16string& path, simhost::NodeId parent = 0, uint64_t createTime = 0,
                    uint32_t pid = NewPid()) {
        const simhost::NodeId id = AddNode(pid, path, parent, createTime);
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

    tierlock::rkProcTreeHelper* helper_ = tierlock::rkProcTreeHelper::GetInstance();
    std::vector<uint32_t> held_;
};
