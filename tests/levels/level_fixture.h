// Level resolution against the simulated host: trust services, cloud engine, a process cache
// carried in the target's bundle, and one process tree for the whole test process (the tree
// helper is process-wide and keeps the first pair of services it is given). After every test
// no service reference, tree root or bundle object may be left behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bundle/bundle.h"
#include "bundle/memory.h"
#include "levels/levels.h"
#include "log/log.h"
#include "platform/platform.h"
#include "platform/windows_directory.h"
#include "proctree/proctree.h"
#include "simhost/framework.h"
#include "simhost/proc_tree.h"
#include "simhost/process_cache.h"
#include "simhost/rule_objects.h"
#include "simhost/services.h"
#include "simhost/text.h"
#include "testsupport/counting_memory.h"
#include "testsupport/shared_tree.h"

namespace level_test {

// Every bundle object (parameter sets, scan items) counted until destroyed; objects can be
// made to fail once a budget is spent.
inline std::atomic<size_t>& g_objectsMade = testsupport::Bundles().objectsMade;
inline std::atomic<size_t>& g_objectsDestroyed = testsupport::Bundles().objectsDestroyed;
inline std::atomic<size_t>& g_objectBudget = testsupport::Bundles().objectBudget;

inline std::u16string Num(int64_t value) {
    return simhost::ToUtf16(std::to_string(value));
}

// The system's own answer, as Init reads it: natively the substitute says x64, under wine64
// the prefix does.
inline bool SystemIsWin64() {
    const auto architecture = tierlock::platform::NativeProcessorArchitecture();
    return architecture && *architecture == tierlock::platform::kArchitectureAmd64;
}

class LevelTest : public ::testing::Test {
  protected:
    static simhost::ProcessTree& Tree() { return testsupport::SharedProcessTree(); }

    void SetUp() override {
        tierlock::g_pFrame.Assign(&framework_);
        testsupport::Bundles().Reset();
        tierlock::SetBundleMemory(&testsupport::CountingMemory());
        ASSERT_TRUE(
            tierlock::rkProcTreeHelper::GetInstance()->init(Tree().ctrl(), Tree().helper()));
        Tree().ClearCalls();
        services_.trust = {&v2_, nullptr, false};
        services_.cloud = &cloud_;
        services_.procTree = Tree().ctrl();
        services_.helperCtrl = Tree().helper();
    }

    void TearDown() override {
        for (uint32_t op = 0; op < static_cast<uint32_t>(simhost::TreeOp::Count); ++op) {
            Tree().SetFailing(static_cast<simhost::TreeOp>(op), false);
        }
        tierlock::g_pFrame.Assign(nullptr);
        EXPECT_EQ(Tree().heldRoots(), 0u);
        EXPECT_EQ(Tree().releaseUnderflows(), 0u);
        EXPECT_EQ(v1_.refs() + v2_.refs() + cloud_.refs(), 0u);
        EXPECT_EQ(v1_.underflows() + v2_.underflows() + cloud_.underflows(), 0u);
        EXPECT_EQ(Tree().ctrl()->refs() + Tree().helper()->refs(), 0u);
        tierlock::SetBundleMemory(nullptr);  // lets pooled bundles go
        EXPECT_EQ(g_objectsDestroyed.load(), g_objectsMade.load());
    }

    // A resolver over a process source for target_, as one event builds it.
    tierlock::LevelResolver Resolver() {
        processes_.emplace(&target_,
                           tierlock::TreeServices{services_.procTree, services_.helperCtrl,
                                                  services_.trust.isWin64});
        return tierlock::LevelResolver(services_.trust, services_.cloud, *processes_);
    }

    // The target's bundle carries the process cache from here on.
    void UseCache() { target_.CarryCache(&cache_); }

    static uint32_t NewPid() { return nextPid_ += 4; }

    // A process in the shared tree under parent (0: a tree of its own).
    static simhost::NodeId AddNode(uint32_t pid, const std::u16string& path,
                                   simhost::NodeId parent = 0, uint64_t createTime = 0) {
        return Tree().AddProcess({pid, path, createTime, 0}, parent);
    }

    // The lines written under one function tag, in order.
    std::vector<std::u16string> Lines(const std::string& tag) const {
        return framework_.textsTagged(tag);
    }

    simhost::Framework framework_;
    simhost::TrustQueryV1 v1_;
    simhost::TrustQueryV2 v2_;
    simhost::CloudEngine cloud_;
    simhost::ProcessCache cache_;
    simhost::RuleTarget target_;
    // The services an event hands to level resolution.
    struct {
        tierlock::TrustServices trust;
        IRKEngCloudV2* cloud = nullptr;
        IRKProcTreeV3Ctrl* procTree = nullptr;
        IRKProcessTreeHelperCtrl* helperCtrl = nullptr;
    } services_;
    std::optional<tierlock::ProcessSource> processes_;
    static inline uint32_t nextPid_ = 5000;
};

}  // namespace level_test
