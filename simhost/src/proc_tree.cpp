#include "simhost/proc_tree.h"

#include <algorithm>
#include <cstring>

namespace simhost {
namespace {

// Distinct ranges, so that a root offset, node offset or node pointer passed in the wrong
// place is noticed.
constexpr uint32_t kTreeRootBase = 0x1000;
constexpr uint32_t kChainRootBase = 0x40000;
constexpr uint32_t kNodePtrBase = 0x100000;

}  // namespace

// ---- the model ----

NodeId ProcessTree::AddProcess(const ProcessInfo& info, NodeId parent) {
    std::lock_guard lock(mutex_);
    Node node;
    node.info = info;
    node.parent = NodeAt(parent) ? parent : 0;
    const auto id = static_cast<NodeId>(nodes_.size() + 1);
    node.top = node.parent ? nodes_[node.parent - 1].top : id;
    nodes_.push_back(std::move(node));
    byPid_[info.pid].push_back(id);
    if (Node* up = NodeAt(parent)) {
        up->children.push_back(id);
    }
    return id;
}

void ProcessTree::LinkChild(NodeId parent, NodeId child) {
    std::lock_guard lock(mutex_);
    if (Node* up = NodeAt(parent); up && NodeAt(child)) {
        up->children.push_back(child);
    }
}

void ProcessTree::SetProperty(NodeId node, const std::string& name, std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (Node* entry = NodeAt(node)) {
        entry->properties[name] = std::move(bytes);
    }
}

void ProcessTree::SetInt32(NodeId node, const std::string& name, int32_t value) {
    std::vector<uint8_t> bytes(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
    SetProperty(node, name, std::move(bytes));
}

void ProcessTree::SetUInt64(NodeId node, const std::string& name, uint64_t value) {
    std::vector<uint8_t> bytes(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
    SetProperty(node, name, std::move(bytes));
}

void ProcessTree::SetText(NodeId node, const std::string& name, const std::u16string& text) {
    const auto* first = reinterpret_cast<const uint8_t*>(text.data());
    std::vector<uint8_t> bytes(first, first + text.size() * sizeof(char16_t));
    SetProperty(node, name, std::move(bytes));
}

void ProcessTree::RemoveProperty(NodeId node, const std::string& name) {
    std::lock_guard lock(mutex_);
    if (Node* entry = NodeAt(node)) {
        entry->properties.erase(name);
    }
}

std::optional<std::vector<uint8_t>> ProcessTree::Property(NodeId node,
                                                          const std::string& name) const {
    std::lock_guard lock(mutex_);
    if (node == 0 || node > nodes_.size()) {
        return std::nullopt;
    }
    const auto& properties = nodes_[node - 1].properties;
    auto found = properties.find(name);
    if (found == properties.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::u16string> ProcessTree::Text(NodeId node, const std::string& name) const {
    auto bytes = Property(node, name);
    if (!bytes) {
        return std::nullopt;
    }
    std::u16string text(bytes->size() / sizeof(char16_t), u'\0');
    if (!text.empty()) {
        std::memcpy(text.data(), bytes->data(), text.size() * sizeof(char16_t));
    }
    return text;
}

std::optional<int32_t> ProcessTree::Int32(NodeId node, const std::string& name) const {
    auto bytes = Property(node, name);
    if (!bytes || bytes->size() != sizeof(int32_t)) {
        return std::nullopt;
    }
    int32_t value;
    std::memcpy(&value, bytes->data(), sizeof(value));
    return value;
}

uint32_t ProcessTree::RootOffsetOf(NodeId node) const {
    std::lock_guard lock(mutex_);
    return kTreeRootBase + TopOf(node);
}

uint32_t ProcessTree::NodePtrOf(NodeId node) const {
    return kNodePtrBase + node;
}

uint32_t ProcessTree::heldRoots() const {
    std::lock_guard lock(mutex_);
    uint32_t held = 0;
    for (const auto& [root, count] : holds_) {
        held += count;
    }
    return held;
}

uint32_t ProcessTree::releaseUnderflows() const {
    std::lock_guard lock(mutex_);
    return underflows_;
}

void ProcessTree::SetFailing(TreeOp op, bool failing) {
    std::lock_guard lock(mutex_);
    failing_[static_cast<size_t>(op)] = failing;
    answersLeft_[static_cast<size_t>(op)].reset();
}

void ProcessTree::FailAfter(TreeOp op, size_t more) {
    std::lock_guard lock(mutex_);
    answersLeft_[static_cast<size_t>(op)] = more;
}

void ProcessTree::SetPathLengthAnswer(NodeId node, std::optional<uint32_t> length) {
    std::lock_guard lock(mutex_);
    if (Node* entry = NodeAt(node)) {
        entry->pathLengthAnswer = length;
    }
}

void ProcessTree::SetPropertySizeAnswer(NodeId node, const std::string& name,
                                        std::optional<uint32_t> size) {
    std::lock_guard lock(mutex_);
    if (Node* entry = NodeAt(node)) {
        if (size) {
            entry->sizeAnswers[name] = *size;
        } else {
            entry->sizeAnswers.erase(name);
        }
    }
}

void ProcessTree::SetChildCountAnswer(NodeId node, std::optional<uint32_t> count) {
    std::lock_guard lock(mutex_);
    if (Node* entry = NodeAt(node)) {
        entry->childCountAnswer = count;
    }
}

size_t ProcessTree::calls(TreeOp op) const {
    std::lock_guard lock(mutex_);
    return calls_[static_cast<size_t>(op)];
}

std::vector<PropertyAccess> ProcessTree::propertyAccesses() const {
    std::lock_guard lock(mutex_);
    return propertyAccesses_;
}

void ProcessTree::ClearCalls() {
    std::lock_guard lock(mutex_);
    std::fill(std::begin(calls_), std::end(calls_), 0);
    propertyAccesses_.clear();
}

void ProcessTree::Reset() {
    std::lock_guard lock(mutex_);
    nodes_.clear();
    byPid_.clear();
    holds_.clear();
    chainViews_.clear();
    nextChainRoot_ = 0;
    underflows_ = 0;
    std::fill(std::begin(failing_), std::end(failing_), false);
    std::fill(std::begin(answersLeft_), std::end(answersLeft_), std::nullopt);
    std::fill(std::begin(calls_), std::end(calls_), 0);
    propertyAccesses_.clear();
}

bool ProcessTree::Enter(TreeOp op) {
    ++calls_[static_cast<size_t>(op)];
    if (auto& left = answersLeft_[static_cast<size_t>(op)]; left && (*left)-- == 0) {
        left.reset();
        failing_[static_cast<size_t>(op)] = true;
    }
    return !failing_[static_cast<size_t>(op)];
}

ProcessTree::Node* ProcessTree::NodeAt(NodeId id) {
    return (id == 0 || id > nodes_.size()) ? nullptr : &nodes_[id - 1];
}

NodeId ProcessTree::FindPid(uint32_t pid, const uint64_t* createTime) const {
    // The newest process with the pid: pids are reused, creation times tell them apart.
    auto found = byPid_.find(pid);
    if (found == byPid_.end()) {
        return 0;
    }
    for (auto it = found->second.rbegin(); it != found->second.rend(); ++it) {
        const ProcessInfo& info = nodes_[*it - 1].info;
        if (!createTime || *createTime == 0 || *createTime == info.createTime) {
            return *it;
        }
    }
    return 0;
}

NodeId ProcessTree::TopOf(NodeId id) const {
    if (id == 0 || id > nodes_.size()) {
        return 0;
    }
    return nodes_[id - 1].top;
}

NodeId ProcessTree::Resolve(uint32_t root, uint32_t nodePtr) const {
    auto held = holds_.find(root);
    if (held == holds_.end() || held->second == 0 || nodePtr <= kNodePtrBase) {
        return 0;
    }
    const NodeId id = nodePtr - kNodePtrBase;
    if (id > nodes_.size()) {
        return 0;
    }
    if (auto chain = chainViews_.find(root); chain != chainViews_.end()) {
        return chain->second.positions.count(id) != 0 ? id : 0;
    }
    return root == kTreeRootBase + TopOf(id) ? id : 0;
}

std::vector<NodeId> ProcessTree::ChildrenIn(uint32_t root, NodeId id) const {
    if (auto chain = chainViews_.find(root); chain != chainViews_.end()) {
        const ChainView& view = chain->second;
        auto at = view.positions.find(id);
        if (at != view.positions.end() && at->second + 1 < view.members.size()) {
            return {view.members[at->second + 1]};
        }
        return {};
    }
    return nodes_[id - 1].children;
}

bool ProcessTree::HandOut(uint32_t rootOffset, NodeId node, uint32_t* root, uint32_t* nodeOffset) {
    if (!root || !nodeOffset) {
        return false;
    }
    ++holds_[rootOffset];
    *root = rootOffset;
    *nodeOffset = node;
    return true;
}

// ---- IRKProcTreeV3Ctrl ----

bool RK_CALL ProcTreeCtrl::FindNodeByPid(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                                         uint32_t* node) {
    std::lock_guard lock(tree_.mutex_);
    if (!tree_.Enter(TreeOp::FindNodeByPid)) {
        return false;
    }
    const NodeId found = tree_.FindPid(pid, createTime);
    return found != 0 && tree_.HandOut(kTreeRootBase + tree_.TopOf(found), found, root, node);
}

bool RK_CALL ProcTreeCtrl::GetParentNode(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                                         uint32_t* node) {
    std::lock_guard lock(tree_.mutex_);
    if (!tree_.Enter(TreeOp::GetParentNode)) {
        return false;
    }
    const NodeId found = tree_.FindPid(pid, createTime);
    const NodeId parent = found ? tree_.nodes_[found - 1].parent : 0;
    return parent != 0 && tree_.HandOut(kTreeRootBase + tree_.TopOf(parent), parent, root, node);
}

bool RK_CALL ProcTreeCtrl::GetChainNodes(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                                         uint32_t* node) {
    std::lock_guard lock(tree_.mutex_);
    if (!tree_.Enter(TreeOp::GetChainNodes)) {
        return false;
    }
    NodeId found = tree_.FindPid(pid, createTime);
    if (found == 0 || !root || !node) {
        return false;
    }
    // A view of its own: the ancestors from the top down to the process, each the only child
    // of the one before, so that a walk from the returned node yields the chain.
    ProcessTree::ChainView view;
    for (; found != 0; found = tree_.nodes_[found - 1].parent) {
        view.members.push_back(found);
    }
    std::reverse(view.members.begin(), view.members.end());
    for (size_t i = 0; i < view.members.size(); ++i) {
        view.positions.emplace(view.members[i], i);
    }
    const uint32_t chainRoot = kChainRootBase + ++tree_.nextChainRoot_;
    const NodeId top = view.members.front();
    tree_.chainViews_[chainRoot] = std::move(view);
    return tree_.HandOut(chainRoot, top, root, node);
}

bool RK_CALL ProcTreeCtrl::SetNodeProperty(uint32_t pid, const uint64_t* createTime,
                                           const char* name, const void* data, uint32_t size) {
    std::lock_guard lock(tree_.mutex_);
    if (!tree_.Enter(TreeOp::SetNodeProperty) || !name || (size != 0 && !data)) {
        return false;
    }
    tree_.propertyAccesses_.push_back({TreeOp::SetNodeProperty, pid, name});
    ProcessTree::Node* entry = tree_.NodeAt(tree_.FindPid(pid, createTime));
    if (!entry) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    entry->properties[name] = std::vector<uint8_t>(bytes, bytes + size);
    return true;
}

void RK_CALL ProcTreeCtrl::ReleaseRoot(uint32_t root) {
    std::lock_guard lock(tree_.mutex_);
    tree_.Enter(TreeOp::ReleaseRoot);
    auto held = tree_.holds_.find(root);
    if (held == tree_.holds_.end() || held->second == 0) {
        ++tree_.underflows_;
        return;
    }
    if (--held->second == 0) {
        tree_.holds_.erase(held);
        tree_.chainViews_.erase(root);
    }
}

// ---- IRKProcessTreeHelperCtrl ----

bool RK_CALL ProcTreeHelperCtrl::GetNodePtr(uint32_t root, uint32_t node, uint32_t* nodePtr) {
    std::lock_guard lock(tree_.mutex_);
    if (!tree_.Enter(TreeOp::GetNodePtr) || !nodePtr) {
        return false;
    }
    const NodeId id = tree_.Resolve(root, kNodePtrBase + node);
    if (id == 0 || node == 0) {
        return false;
    }
    *nodePtr = kNodePtrBase + id;
    return true;
}

bool RK_CALL ProcTreeHelperCtrl::GetChildNodePtr(uint32_t root, uint32_t, uint32_t nodePtr,
                                                 uint32_t index, uint32_t* child) {
    std::lock_guard lock(tree_.mutex_);
    if (!tree_.Enter(TreeOp::GetChildNodePtr) || !child) {
        return false;
    }
    const NodeId id = tree_.Resolve(root, nodePtr);
    const std::vector<NodeId> children = id ? tree_.ChildrenIn(root, id) : std::vector<NodeId>();
    if (index >= children.size()) {
        *child = 0;
        return false;
    }
    *child = kNodePtrBase + children[index];
    return true;
}

bool RK_CALL ProcTreeHelperCtrl::GetNodePid(uint32_t root, uint32_t, uint32_t nodePtr,
                                            uint32_t* pid) {
    std::lock_guard lock(tree_.mutex_);
    const NodeId id = tree_.Enter(TreeOp::GetNodePid) ? tree_.Resolve(root, nodePtr) : 0;
    if (id == 0 || !pid) {
        return false;
    }
    *pid = tree_.nodes_[id - 1].info.pid;
    return true;
}

bool RK_CALL ProcTreeHelperCtrl::GetNodePPid(uint32_t root, uint32_t, uint32_t nodePtr,
                                             uint32_t* ppid) {
    std::lock_guard lock(tree_.mutex_);
    const NodeId id = tree_.Enter(TreeOp::GetNodePPid) ? tree_.Resolve(root, nodePtr) : 0;
    if (id == 0 || !ppid) {
        return false;
    }
    const ProcessTree::Node& entry = tree_.nodes_[id - 1];
    *ppid = entry.parent ? tree_.nodes_[entry.parent - 1].info.pid : entry.info.ppid;
    return true;
}

bool RK_CALL ProcTreeHelperCtrl::GetNodePath(uint32_t root, uint32_t, uint32_t nodePtr,
                                             char16_t* buffer, uint32_t* length) {
    std::lock_guard lock(tree_.mutex_);
    const NodeId id = tree_.Enter(TreeOp::GetNodePath) ? tree_.Resolve(root, nodePtr) : 0;
    if (id == 0 || !length) {
        return false;
    }
    const ProcessTree::Node& entry = tree_.nodes_[id - 1];
    const std::u16string& path = entry.info.path;
    if (!buffer) {
        *length = entry.pathLengthAnswer.value_or(static_cast<uint32_t>(path.size()));
        return true;
    }
    // Never writes beyond the room the caller gave.
    if (*length < path.size()) {
        *length = static_cast<uint32_t>(path.size());
        return false;
    }
    path.copy(buffer, path.size());
    if (*length > path.size()) {
        buffer[path.size()] = u'\0';
    }
    *length = static_cast<uint32_t>(path.size());
    return true;
}

bool RK_CALL ProcTreeHelperCtrl::GetNodeCreateTime(uint32_t root, uint32_t, uint32_t nodePtr,
                                                   uint64_t* time) {
    std::lock_guard lock(tree_.mutex_);
    const NodeId id = tree_.Enter(TreeOp::GetNodeCreateTime) ? tree_.Resolve(root, nodePtr) : 0;
    if (id == 0 || !time) {
        return false;
    }
    *time = tree_.nodes_[id - 1].info.createTime;
    return true;
}

bool RK_CALL ProcTreeHelperCtrl::GetChildCount(uint32_t root, uint32_t, uint32_t nodePtr,
                                               uint32_t* count) {
    std::lock_guard lock(tree_.mutex_);
    const NodeId id = tree_.Enter(TreeOp::GetChildCount) ? tree_.Resolve(root, nodePtr) : 0;
    if (id == 0 || !count) {
        return false;
    }
    const auto real = static_cast<uint32_t>(tree_.ChildrenIn(root, id).size());
    *count = tree_.nodes_[id - 1].childCountAnswer.value_or(real);
    return true;
}

bool RK_CALL ProcTreeHelperCtrl::GetNodeProperty(uint32_t root, uint32_t, uint32_t nodePtr,
                                                 const char* name, void* buffer, uint32_t* size) {
    std::lock_guard lock(tree_.mutex_);
    const NodeId id = tree_.Enter(TreeOp::GetNodeProperty) ? tree_.Resolve(root, nodePtr) : 0;
    if (id == 0 || !name || !size) {
        return false;
    }
    const ProcessTree::Node& entry = tree_.nodes_[id - 1];
    tree_.propertyAccesses_.push_back({TreeOp::GetNodeProperty, entry.info.pid, name});
    auto found = entry.properties.find(name);
    auto lie = entry.sizeAnswers.find(name);
    if (!buffer && lie != entry.sizeAnswers.end()) {
        *size = lie->second;
        return true;
    }
    if (found == entry.properties.end()) {
        *size = 0;
        return false;
    }
    const auto real = static_cast<uint32_t>(found->second.size());
    if (!buffer) {
        *size = real;
        return true;
    }
    if (*size < real) {
        *size = real;
        return false;
    }
    if (real != 0) {
        std::memcpy(buffer, found->second.data(), real);
    }
    *size = real;
    return true;
}

}  // namespace simhost
