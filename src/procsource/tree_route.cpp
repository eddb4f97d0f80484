// The tree route: everything read from and written to the host's process tree, through the
// plug-in's tree services and the process-wide tree helper.
#include "log/log.h"
#include "procsource/held_tree_root.h"
#include "procsource/process_source.h"
#include "proctree/proc_tree_helper.h"

namespace tierlock {

void TreeRoute::ReadParent(uint32_t pid, const ParentRead& read, ParentProcess& parent) const {
    HeldTreeRoot root(m_services.procTree);
    uint32_t node = 0;
    const bool found = m_services.procTree->GetParentNode(pid, nullptr, root.Receive(), &node);
    if (!found || root.Get() == 0) {
        Log(LogLevel::Error, read.tag, u"获取父进程节点失败,pid=%d", pid);
        return;
    }
    rkProcTreeHelper* tree = rkProcTreeHelper::GetInstance();
    parent.levelRead =
        tree->GetLevelAndSubByRootOffset(root.Get(), node, &parent.level, &parent.subLevel);
    read.levelKnown(parent, tree->FixLevel_is_Exist_ByRootOffset(root.Get(), node));
    tree->GetRootPid(root.Get(), node, parent.pid);
    tree->GetPathByRootOffset(root.Get(), node, parent.pid, m_services.convertPaths, parent.path);
    uint32_t nodePtr = 0;
    if (m_services.helperCtrl->GetNodePtr(root.Get(), node, &nodePtr) && nodePtr != 0) {
        m_services.helperCtrl->GetNodeCreateTime(root.Get(), node, nodePtr, &parent.createTime);
    }
}

uint32_t TreeRoute::ParentIdOf(uint32_t pid, const uint64_t& createTime) const {
    uint32_t parent = 0;
    return rkProcTreeHelper::GetInstance()->GetPPidByPid(pid, &createTime, parent) ? parent : 0;
}

void TreeRoute::FindChain(uint32_t pid, const ChainRequest& request, ProcessChain& chain) const {
    chain.m_tag = request.treeTag;
    if (request.beforeTree) {
        request.beforeTree();
    }
    if (!Available()) {
        Log(LogLevel::Error, request.treeTag, request.treeMissing);
        chain.m_available = false;
        return;
    }
    uint64_t createTime = 0;
    const uint64_t* namedTime = nullptr;
    if (request.treeCreateTime) {
        createTime = request.treeCreateTime();
        namedTime = &createTime;
    }
    rkProcTreeHelper* tree = rkProcTreeHelper::GetInstance();
    if (m_services.procTree->GetChainNodes(pid, namedTime, &chain.m_root, &chain.m_node) &&
        chain.m_root != 0) {
        tree->GetAllNodePtr(chain.m_root, chain.m_node, chain.m_nodePtrs);
        chain.m_found = true;
        Log(LogLevel::Info, request.treeTag, u"成功获取到的进程链信息，节点数：%d",
            static_cast<uint32_t>(chain.m_nodePtrs.size()));
    } else if (request.failureNamesPid) {
        Log(LogLevel::Error, request.treeTag, u"获取进程链失败,pid=%d", pid);
    } else {
        Log(LogLevel::Error, request.treeTag, u"获取进程链失败");
    }
    if (request.reportsEmptyTree && chain.m_nodePtrs.empty()) {
        Log(LogLevel::Error, request.treeTag, u"未获取正确的进程链数据,pid=%d", pid);
    }
}

void TreeRoute::WriteLevelPair(uint32_t pid, const uint64_t* createTime, int32_t level,
                               int32_t subLevel) const {
    rkProcTreeHelper* tree = rkProcTreeHelper::GetInstance();
    tree->SetLevelByPid(pid, level, createTime);
    tree->SetSubLevelByPid(pid, subLevel, createTime);
}

size_t TreeRoute::MemberCount(const ProcessChain& chain) const {
    return chain.m_nodePtrs.size();
}

uint32_t TreeRoute::MemberPid(const ProcessChain& chain, size_t member) const {
    uint32_t pid = 0;
    m_services.helperCtrl->GetNodePid(chain.m_root, chain.m_node, chain.m_nodePtrs[member], &pid);
    return pid;
}

void TreeRoute::MemberPath(const ProcessChain& chain, size_t member, uint32_t pid,
                           MemberPathText& path) const {
    path.m_built.clear();
    rkProcTreeHelper::GetInstance()->GetPathByNodeOffset(chain.m_root, chain.m_node,
                                                         chain.m_nodePtrs[member], pid,
                                                         m_services.convertPaths, path.m_built);
    path.m_text = path.m_built.c_str();
    path.m_length = path.m_built.size();
}

uint64_t TreeRoute::MemberCreateTime(const ProcessChain& chain, size_t member) const {
    uint64_t createTime = 0;
    m_services.helperCtrl->GetNodeCreateTime(chain.m_root, chain.m_node, chain.m_nodePtrs[member],
                                             &createTime);
    return createTime;
}

bool TreeRoute::MemberLevel(const ProcessChain& chain, size_t member, int32_t* level,
                            int32_t* subLevel) const {
    return rkProcTreeHelper::GetInstance()->GetLevelAndSubByNodeOffset(
        chain.m_root, chain.m_node, chain.m_nodePtrs[member], level, subLevel);
}

void TreeRoute::ReleaseChain(ProcessChain& chain) const {
    if (chain.m_root != 0) {
        m_services.procTree->ReleaseRoot(std::exchange(chain.m_root, 0));
    }
}

}  // namespace tierlock
