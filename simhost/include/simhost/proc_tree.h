// The host's process tree behind IRKProcTreeV3Ctrl and IRKProcessTreeHelperCtrl: processes
// with pid, parent, path, creation time and named byte properties. Every lookup that hands out
// a root offset holds that root until ReleaseRoot, and the helper operations work only on held
// roots, so a test sees both leaks and use after release. Failures and hostile answers
// (lengths and sizes the host claims) can be configured per operation and per process.
// GetParentNode hands out the parent's node in its tree; GetChainNodes a view of its own in
// which the process's ancestors, top first, are each the only child of the one before, so that
// a walk from the node it returns yields the chain.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "abi/host.h"
#include "simhost/counted.h"

namespace simhost {

enum class TreeOp : uint32_t {
    FindNodeByPid,
    GetParentNode,
    GetChainNodes,
    SetNodeProperty,
    ReleaseRoot,
    GetNodePtr,
    GetChildNodePtr,
    GetNodePid,
    GetNodePPid,
    GetNodePath,
    GetNodeCreateTime,
    GetChildCount,
    GetNodeProperty,
    Count
};

struct ProcessInfo {
    uint32_t pid = 0;
    std::u16string path;
    uint64_t createTime = 0;
    // Reported for a process without a parent in the tree (its parent has ended).
    uint32_t ppid = 0;
};

// A test's name for a process; 0 means none.
using NodeId = uint32_t;

struct PropertyAccess {
    TreeOp op;  // GetNodeProperty or SetNodeProperty
    uint32_t pid;
    std::string name;
};

class ProcessTree;

class ProcTreeCtrl final : public Counted<IRKProcTreeV3Ctrl> {
  public:
    explicit ProcTreeCtrl(ProcessTree& tree) : tree_(tree) {}
    ~ProcTreeCtrl() = default;

    bool RK_CALL FindNodeByPid(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                               uint32_t* node) override;
    bool RK_CALL GetParentNode(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                               uint32_t* node) override;
    bool RK_CALL GetChainNodes(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                               uint32_t* node) override;
    bool RK_CALL SetNodeProperty(uint32_t pid, const uint64_t* createTime, const char* name,
                                 const void* data, uint32_t size) override;
    void RK_CALL ReleaseRoot(uint32_t root) override;

  private:
    ProcessTree& tree_;
};

class ProcTreeHelperCtrl final : public Counted<IRKProcessTreeHelperCtrl> {
  public:
    explicit ProcTreeHelperCtrl(ProcessTree& tree) : tree_(tree) {}
    ~ProcTreeHelperCtrl() = default;

    bool RK_CALL GetNodePtr(uint32_t root, uint32_t node, uint32_t* nodePtr) override;
    bool RK_CALL GetChildNodePtr(uint32_t root, uint32_t node, uint32_t nodePtr, uint32_t index,
                                 uint32_t* child) override;
    bool RK_CALL GetNodePid(uint32_t root, uint32_t node, uint32_t nodePtr, uint32_t* pid) override;
    bool RK_CALL GetNodePPid(uint32_t root, uint32_t node, uint32_t nodePtr,
                             uint32_t* ppid) override;
    bool RK_CALL GetNodePath(uint32_t root, uint32_t node, uint32_t nodePtr, char16_t* buffer,
                             uint32_t* length) override;
    bool RK_CALL GetNodeCreateTime(uint32_t root, uint32_t node, uint32_t nodePtr,
                                   uint64_t* time) override;
    bool RK_CALL GetChildCount(uint32_t root, uint32_t node, uint32_t nodePtr,
                               uint32_t* count) override;
    bool RK_CALL GetNodeProperty(uint32_t root, uint32_t node, uint32_t nodePtr, const char* name,
                                 void* buffer, uint32_t* size) override;

  private:
    ProcessTree& tree_;
};

class ProcessTree {
  public:
    ProcessTree() = default;
    ProcessTree(const ProcessTree&) = delete;
    ProcessTree& operator=(const ProcessTree&) = delete;

    ProcTreeCtrl* ctrl() { return &ctrl_; }
    ProcTreeHelperCtrl* helper() { return &helper_; }

    // Adds a process under parent (0: the first process of a tree of its own).
    NodeId AddProcess(const ProcessInfo& info, NodeId parent = 0);
    // Lists an existing process once more among parent's children; a loop makes a cycle.
    void LinkChild(NodeId parent, NodeId child);

    void SetProperty(NodeId node, const std::string& name, std::vector<uint8_t> bytes);
    void SetInt32(NodeId node, const std::string& name, int32_t value);
    void SetUInt64(NodeId node, const std::string& name, uint64_t value);
    void SetText(NodeId node, const std::string& name, const std::u16string& text);
    void RemoveProperty(NodeId node, const std::string& name);
    std::optional<std::vector<uint8_t>> Property(NodeId node, const std::string& name) const;
    std::optional<std::u16string> Text(NodeId node, const std::string& name) const;
    std::optional<int32_t> Int32(NodeId node, const std::string& name) const;

    // The addresses the host hands out for a process.
    uint32_t RootOffsetOf(NodeId node) const;
    uint32_t NodeOffsetOf(NodeId node) const { return node; }
    uint32_t NodePtrOf(NodeId node) const;

    // Roots handed out and not yet given back, and releases of roots not held.
    uint32_t heldRoots() const;
    uint32_t releaseUnderflows() const;

    // A failing operation answers false (or nothing) and writes no out value.
    void SetFailing(TreeOp op, bool failing);
    // The operation answers the next `more` calls, then fails as SetFailing(op, true) makes it.
    void FailAfter(TreeOp op, size_t more);
    // What the length or size probes (null buffer) answer instead of the truth.
    void SetPathLengthAnswer(NodeId node, std::optional<uint32_t> length);
    void SetPropertySizeAnswer(NodeId node, const std::string& name, std::optional<uint32_t> size);
    void SetChildCountAnswer(NodeId node, std::optional<uint32_t> count);

    size_t calls(TreeOp op) const;
    std::vector<PropertyAccess> propertyAccesses() const;
    void ClearCalls();

    // Forgets every process, held root, failure and recorded call: a fresh tree behind the
    // same ctrl and helper objects, for a process-wide helper that keeps the first ones given.
    void Reset();

  private:
    friend class ProcTreeCtrl;
    friend class ProcTreeHelperCtrl;

    struct Node {
        ProcessInfo info;
        NodeId parent = 0;
        NodeId top = 0;  // the first process of its tree
        std::vector<NodeId> children;
        std::map<std::string, std::vector<uint8_t>> properties;
        std::optional<uint32_t> pathLengthAnswer;
        std::optional<uint32_t> childCountAnswer;
        std::map<std::string, uint32_t> sizeAnswers;
    };

    // Counts the call; false when the operation is set to fail.
    bool Enter(TreeOp op);
    Node* NodeAt(NodeId id);
    NodeId FindPid(uint32_t pid, const uint64_t* createTime) const;
    NodeId TopOf(NodeId id) const;
    // The process that nodePtr names, when root is held and the node belongs to it.
    NodeId Resolve(uint32_t root, uint32_t nodePtr) const;
    std::vector<NodeId> ChildrenIn(uint32_t root, NodeId id) const;
    bool HandOut(uint32_t rootOffset, NodeId node, uint32_t* root, uint32_t* nodeOffset);

    mutable std::mutex mutex_;
    std::vector<Node> nodes_;
    std::map<uint32_t, uint32_t> holds_;  // root offset -> references held
    // Processes by pid, oldest first: pids are reused.
    std::unordered_map<uint32_t, std::vector<NodeId>> byPid_;
    struct ChainView {
        std::vector<NodeId> members;  // top first
        std::unordered_map<NodeId, size_t> positions;
    };
    std::map<uint32_t, ChainView> chainViews_;  // chain root -> its processes
    uint32_t nextChainRoot_ = 0;
    uint32_t underflows_ = 0;
    bool failing_[static_cast<size_t>(TreeOp::Count)] = {};
    std::optional<size_t> answersLeft_[static_cast<size_t>(TreeOp::Count)];
    size_t calls_[static_cast<size_t>(TreeOp::Count)] = {};
    std::vector<PropertyAccess> propertyAccesses_;

    ProcTreeCtrl ctrl_{*this};
    ProcTreeHelperCtrl helper_{*this};
};

}  // namespace simhost
