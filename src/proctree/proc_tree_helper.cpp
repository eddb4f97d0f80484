#include "proctree/proc_tree_helper.h"

#include <cstring>

#include "log/log.h"
#include "platform/clock.h"
#include "platform/owned_block.h"
#include "platform/paths.h"
#include "proctree/level_pair.h"

namespace tierlock {
namespace {

// Host answers are untrusted. No Windows path is longer than 32,767 characters, and the longest
// property the plug-in reads is such a path after conversion; larger claims are refused before
// anything is allocated, so that length + 1 can never wrap.
constexpr uint32_t kMaxNodePathChars = 32767;
constexpr uint32_t kMaxPropertyBytes = 65536;
// Bounds one walk of a tree, whatever child counts or cycles the host reports.
constexpr uint32_t kMaxWalkSteps = 65536;

constexpr char kConvertPath[] = "CURRENT_CONVERT_PATH";

struct NodeAddress {
    uint32_t rootOffset;
    uint32_t nodeOffset;
    uint32_t nodePtr;
};

// Both integer widths read alike; a value of another size was not fully written: no answer.
template <class Number>
bool ReadNumber(IRKProcessTreeHelperCtrl* helperCtrl, const char* tag, const char16_t* format,
                const NodeAddress& at, const char* name, Number& outValue) {
    if (!helperCtrl) {
        return false;  // reachable only before init, through an unguarded operation
    }
    Number value = outValue;
    uint32_t size = sizeof(value);
    if (!helperCtrl->GetNodeProperty(at.rootOffset, at.nodeOffset, at.nodePtr, name, &value,
                                     &size) ||
        size != sizeof(value)) {
        Log(LogLevel::Error, tag, u"Key=%s ,获取属性失败", name);
        return false;
    }
    outValue = value;
    Log(LogLevel::Info, tag, format, name, value);
    return true;
}

}  // namespace

bool rkProcTreeHelper::IsReady(const char* tag) const {
    if (m_bInit.load(std::memory_order_acquire)) {
        return true;
    }
    Log(LogLevel::Info, tag, u"对象未初始化，请初始化");
    return false;
}

bool rkProcTreeHelper::NodePtrOf(const char* tag, uint32_t rootOffset, uint32_t nodeOffset,
                                 uint32_t& nodePtr) {
    nodePtr = 0;
    if (!m_pHelperCtrl->GetNodePtr(rootOffset, nodeOffset, &nodePtr) || nodePtr == 0) {
        Log(LogLevel::Error, tag, u"获取根节点失败");
        return false;
    }
    return true;
}

bool rkProcTreeHelper::FindNode(uint32_t pid, uint32_t& outRootOffset, uint32_t& outNodeOffset,
                                const uint64_t* pCreateTime) {
    constexpr char kTag[] = "rkProcTreeHelper::FindNode";
    if (!IsReady(kTag)) {
        return false;
    }
    const bool found = m_pProcTree->FindNodeByPid(pid, pCreateTime, &outRootOffset, &outNodeOffset);
    if (found) {
        Log(LogLevel::Info, kTag, u"查找节点成功,pid=%u", pid);
    } else {
        Log(LogLevel::Error, kTag, u"查找节点失败,pid=%u", pid);
    }
    return found;
}

bool rkProcTreeHelper::GetPPidByPid(uint32_t pid, const uint64_t* pCreateTime, uint32_t& outPPid) {
    constexpr char kTag[] = "rkProcTreeHelper::GetPPidByPid";
    if (!IsReady(kTag)) {
        return false;
    }
    uint32_t root = 0;
    uint32_t node = 0;
    if (!FindNode(pid, root, node, pCreateTime) || root == 0) {
        Log(LogLevel::Error, kTag, u"未查找到目标进程,pid=%u", pid);
        return false;
    }
    bool result = false;
    uint32_t nodePtr = 0;
    if (NodePtrOf(kTag, root, node, nodePtr)) {
        result = m_pHelperCtrl->GetNodePPid(root, node, nodePtr, &outPPid);
    }
    m_pProcTree->ReleaseRoot(root);
    return result;
}

bool rkProcTreeHelper::ResolveRootOffset(const char* tag, uint32_t rootOffset, uint32_t nodeOffset,
                                         bool argumentsValid, uint32_t& nodePtr) {
    if (!IsReady(tag)) {
        return false;
    }
    if (rootOffset == 0 || nodeOffset == 0 || !argumentsValid) {
        Log(LogLevel::Info, tag, u"输入参数异常");
        return false;
    }
    return NodePtrOf(tag, rootOffset, nodeOffset, nodePtr);
}

bool rkProcTreeHelper::GetRootPid(uint32_t rootOffset, uint32_t nodeOffset, uint32_t& outPid) {
    constexpr char kTag[] = "rkProcTreeHelper::GetRootPid";
    uint32_t nodePtr = 0;
    if (!ResolveRootOffset(kTag, rootOffset, nodeOffset, true, nodePtr)) {
        return false;
    }
    return m_pHelperCtrl->GetNodePid(rootOffset, nodeOffset, nodePtr, &outPid);
}

bool rkProcTreeHelper::GetAllNodePtr(uint32_t rootOffset, uint32_t nodeOffset,
                                     std::vector<uint32_t>& outNodes) {
    constexpr char kTag[] = "rkProcTreeHelper::GetAllNodePtr";
    if (!IsReady(kTag)) {
        return false;
    }
    uint32_t nodePtr = 0;
    if (!NodePtrOf(kTag, rootOffset, nodeOffset, nodePtr)) {
        return false;
    }
    return GetChildNodes(rootOffset, nodeOffset, nodePtr, outNodes);
}

bool rkProcTreeHelper::GetChildNodes(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr,
                                     std::vector<uint32_t>& outNodes) {
    constexpr char kTag[] = "rkProcTreeHelper::GetChildNodes";
    if (!m_pHelperCtrl) {
        return false;  // reachable only before init: this operation has no guard of its own
    }
    // Depth first, pre-order, with a stack of our own: the host decides how deep the tree is,
    // and a host that lists a node among its own descendants must not recurse forever.
    struct Pending {
        uint32_t nodePtr;
        uint32_t childCount;
        uint32_t nextChild;
    };
    std::vector<Pending> stack;
    uint32_t steps = 0;
    uint32_t current = nodePtr;
    for (;;) {
        if (current != 0) {
            uint32_t pid = 0;
            if (m_pHelperCtrl->GetNodePid(rootOffset, nodeOffset, current, &pid) && pid != 0) {
                outNodes.push_back(current);
                Log(LogLevel::Info, kTag, u"插入节点 pid=%u ponint_offset=%u", pid, current);
            }
            uint32_t count = 0;
            m_pHelperCtrl->GetChildCount(rootOffset, nodeOffset, current, &count);
            stack.push_back({current, count, 0});
        }
        current = 0;
        while (!stack.empty() && stack.back().nextChild >= stack.back().childCount) {
            stack.pop_back();
        }
        if (stack.empty()) {
            return true;
        }
        if (++steps > kMaxWalkSteps) {
            Log(LogLevel::Error, kTag, u"节点数量异常,count=%u",
                static_cast<uint32_t>(outNodes.size()));
            return false;
        }
        Pending& parent = stack.back();
        m_pHelperCtrl->GetChildNodePtr(rootOffset, nodeOffset, parent.nodePtr, parent.nextChild++,
                                       &current);
    }
}

bool rkProcTreeHelper::GetPathByRootOffset(uint32_t rootOffset, uint32_t nodeOffset, uint32_t pid,
                                           bool convert, std::u16string& outPath) {
    constexpr char kTag[] = "rkProcTreeHelper::GetPathByRootOffset";
    uint32_t nodePtr = 0;
    if (!ResolveRootOffset(kTag, rootOffset, nodeOffset, pid != 0, nodePtr)) {
        return false;
    }
    return GetPathByNodeOffset(rootOffset, nodeOffset, nodePtr, pid, convert, outPath);
}

bool rkProcTreeHelper::ReadNodePath(const char* tag, uint32_t rootOffset, uint32_t nodeOffset,
                                    uint32_t nodePtr, uint32_t pid, std::u16string& outPath) {
    uint32_t length = 0;
    m_pHelperCtrl->GetNodePath(rootOffset, nodeOffset, nodePtr, nullptr, &length);
    // Many processes have no path; only a length no path can have is worth a line.
    if (length == 0) {
        return false;
    }
    if (length > kMaxNodePathChars) {
        Log(LogLevel::Error, tag, u"路径长度异常,pid=%u ,Len=%u", pid, length);
        return false;
    }
    const auto buffer = MakeZeroedBlock<char16_t, TreeHelperMemory>(length + 1);
    if (!buffer) {
        return false;
    }
    uint32_t written = length;
    if (!m_pHelperCtrl->GetNodePath(rootOffset, nodeOffset, nodePtr, buffer.get(), &written)) {
        return false;
    }
    // The host cannot have written more than it was given room for.
    outPath.assign(buffer.get(), written < length ? written : length);
    return true;
}

bool rkProcTreeHelper::GetPathByNodeOffset(uint32_t rootOffset, uint32_t nodeOffset,
                                           uint32_t nodePtr, uint32_t pid, bool convert,
                                           std::u16string& outPath) {
    constexpr char kTag[] = "rkProcTreeHelper::GetPathByNodeOffset";
    if (!IsReady(kTag)) {
        return false;
    }
    if (!convert) {
        if (!ReadNodePath(kTag, rootOffset, nodeOffset, nodePtr, pid, outPath)) {
            return false;
        }
        Log(LogLevel::Info, kTag, u"获取进程路径成功 pid=%u ,Path=%s", pid, outPath);
        return true;
    }

    if (GetwstrValue(rootOffset, nodeOffset, nodePtr, kConvertPath, outPath)) {
        Log(LogLevel::Info, kTag, u"成功读取 key= CONVERT_PATH ,pid=%u ,value=%s", pid, outPath);
        return true;
    }
    Log(LogLevel::Error, kTag, u"目标读取失败 key= CONVERT_PATH ,pid=%u", pid);

    bool result = false;
    std::u16string rawPath;
    uint64_t createTime = 0;
    if (ReadNodePath(kTag, rootOffset, nodeOffset, nodePtr, pid, rawPath)) {
        m_pHelperCtrl->GetNodeCreateTime(rootOffset, nodeOffset, nodePtr, &createTime);
        outPath = rawPath;
        // Room for the longer folder name; the conversion refuses what does not fit.
        const size_t capacity = rawPath.size() + 8;
        const auto converted = MakeZeroedBlock<char16_t, TreeHelperMemory>(capacity);
        bool longPathAsked = false;
        const bool convertedOk =
            converted && platform::System32ToSysnative(rawPath.c_str(), converted.get(), capacity,
                                                       &longPathAsked);
        if (longPathAsked) {
            Log(LogLevel::Info, "api_win::Api_GetLongPathName", u"GetLongPathName USE WINAPI");
        }
        if (convertedOk) {
            outPath = converted.get();
            Log(LogLevel::Info, kTag, u"成功获取转换后的路径  ,pid=%u ,Path=%s", pid, outPath);
            result = true;
        }
    }
    if (result) {
        const auto length = static_cast<uint32_t>(outPath.size());
        if (SetPropByPid(pid, outPath, &createTime)) {
            Log(LogLevel::Info, kTag,
                u"成功设置转换后的路径  ,pid=%u ,create_time=%llu ,Path=%s ,len=%u", pid,
                createTime, outPath, length);
        } else {
            Log(LogLevel::Error, kTag,
                u"设置转换后的路径失败 ,pid=%u ,create_time=%llu ,Path=%s ,len=%u", pid, createTime,
                outPath, length);
        }
        return true;
    }
    Log(LogLevel::Error, kTag, u"从节点信息获取路径失败  ,pid=%u ,Path%s", pid, outPath);
    return false;
}

bool rkProcTreeHelper::GetwstrValue(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr,
                                    const char* name, std::u16string& outValue) {
    constexpr char kTag[] = "rkProcTreeHelper::GetwstrValue";
    if (!m_pHelperCtrl) {
        return false;  // reachable only before init: this operation has no guard of its own
    }
    const std::u16string key = WidenAscii(name);
    uint32_t size = 0;
    m_pHelperCtrl->GetNodeProperty(rootOffset, nodeOffset, nodePtr, name, nullptr, &size);
    if (size == 0) {
        Log(LogLevel::Error, kTag, u"未查找到有效数据,key=%s ,Len=0", key);
        return false;
    }
    if (size > kMaxPropertyBytes) {
        Log(LogLevel::Error, kTag, u"属性长度异常,key=%s ,Len=%u", key, size);
        return false;
    }
    // Two spare bytes keep the text terminated whatever the host writes.
    const auto buffer = MakeZeroedBlock<char16_t, TreeHelperMemory>(size / 2 + 2);
    if (!buffer) {
        Log(LogLevel::Error, kTag, u"申请内存失败,key=%s ,Len=0", key);
        return false;
    }
    uint32_t written = size;
    if (!m_pHelperCtrl->GetNodeProperty(rootOffset, nodeOffset, nodePtr, name, buffer.get(),
                                        &written)) {
        Log(LogLevel::Error, kTag, u"获取属性失败");
        return false;
    }
    if (written < size) {
        size = written;
    }
    outValue.assign(buffer.get(), size / 2);
    Log(LogLevel::Info, kTag, u"成功获取到有效数据,key=%s ,Len%u ,Len=%u ,value=%s", key, size,
        size, outValue);
    return true;
}

bool rkProcTreeHelper::GetIntValue(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr,
                                   const char* name, int32_t& outValue) {
    return ReadNumber(m_pHelperCtrl.Get(), "rkProcTreeHelper::GetIntValue", u"Key=%s ,value=%d",
                      {rootOffset, nodeOffset, nodePtr}, name, outValue);
}

bool rkProcTreeHelper::GetInt64Value(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr,
                                     const char* name, uint64_t& outValue) {
    return ReadNumber(m_pHelperCtrl.Get(), "rkProcTreeHelper::GetInt64Value", u"Key=%s ,value=%llu",
                      {rootOffset, nodeOffset, nodePtr}, name, outValue);
}

bool rkProcTreeHelper::isValidFixLevel(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr) {
    constexpr char kTag[] = "rkProcTreeHelper::isValidFixLevel";
    uint64_t ttl = kNeverExpires;
    const uint64_t now = platform::CurrentUnixSeconds();
    if (!GetInt64Value(rootOffset, nodeOffset, nodePtr, kFixLevelTtl, ttl)) {
        Log(LogLevel::Info, kTag, u"不存在key=FLVL_TTL,因此FixLevel和FixSubLevel是无效的");
        return false;
    }
    if (FixedPairInForce(ttl, now)) {
        Log(LogLevel::Info, kTag, u"存在key=FLVL_TTL,并且是有效的 FLVL_TTL=%llu ,当前时间=%llu",
            ttl, now);
        return true;
    }
    Log(LogLevel::Info, kTag, u"存在key=FLVL_TTL,但是是无效的 FLVL_TTL=%llu ,当前时间=%llu", ttl,
        now);
    return false;
}

bool rkProcTreeHelper::GetLevelAndSubByNodeOffset(uint32_t rootOffset, uint32_t nodeOffset,
                                                  uint32_t nodePtr, int32_t* outLevel,
                                                  int32_t* outSubLevel) {
    constexpr char kTag[] = "rkProcTreeHelper::GetLevelAndSubByNodeOffset";
    if (!IsReady(kTag)) {
        return false;
    }
    const LevelPairNames names = LevelPairInForce(isValidFixLevel(rootOffset, nodeOffset, nodePtr));
    int32_t value = 0;
    if (outLevel && GetIntValue(rootOffset, nodeOffset, nodePtr, names.level, value)) {
        *outLevel = value;
        Log(LogLevel::Info, kTag, u"成功读取 key=LEVEL ,level=%d", value);
    }
    value = 0;
    if (outSubLevel && GetIntValue(rootOffset, nodeOffset, nodePtr, names.subLevel, value)) {
        *outSubLevel = value;
        Log(LogLevel::Info, kTag, u"成功读取 key=SUB_LEVEL ,sublevel=%d", value);
    }
    return true;
}

bool rkProcTreeHelper::GetLevelAndSubByRootOffset(uint32_t rootOffset, uint32_t nodeOffset,
                                                  int32_t* outLevel, int32_t* outSubLevel) {
    constexpr char kTag[] = "rkProcTreeHelper::GetLevelAndSubByRootOffset";
    uint32_t nodePtr = 0;
    if (!ResolveRootOffset(kTag, rootOffset, nodeOffset, outLevel && outSubLevel, nodePtr)) {
        return false;
    }
    return GetLevelAndSubByNodeOffset(rootOffset, nodeOffset, nodePtr, outLevel, outSubLevel);
}

bool rkProcTreeHelper::FixLevel_is_Exist_ByRootOffset(uint32_t rootOffset, uint32_t nodeOffset) {
    constexpr char kTag[] = "rkProcTreeHelper::FixLevel_is_Exist_ByRootOffset";
    uint32_t nodePtr = 0;
    if (!ResolveRootOffset(kTag, rootOffset, nodeOffset, true, nodePtr)) {
        return false;
    }
    if (isValidFixLevel(rootOffset, nodeOffset, nodePtr)) {
        Log(LogLevel::Info, kTag, u"存在有效的fixlevel");
        return true;
    }
    Log(LogLevel::Info, kTag, u"不存在有效的fixlevel");
    return false;
}

bool rkProcTreeHelper::SetLevelProperty(const char* tag, uint32_t pid, int32_t value,
                                        const char* name, const char16_t* refusal,
                                        const uint64_t* pCreateTime) {
    if (!IsReady(tag)) {
        return false;
    }
    if (value == 0 || value == -1) {
        Log(LogLevel::Info, tag, refusal);
        return false;
    }
    const int32_t copy = value;
    return m_pProcTree->SetNodeProperty(pid, pCreateTime, name, &copy, sizeof(copy));
}

bool rkProcTreeHelper::SetLevelByPid(uint32_t pid, int32_t level, const uint64_t* pCreateTime) {
    return SetLevelProperty("rkProcTreeHelper::SetLevelByPid", pid, level, "LEVEL", u"无效level",
                            pCreateTime);
}

bool rkProcTreeHelper::SetSubLevelByPid(uint32_t pid, int32_t subLevel,
                                        const uint64_t* pCreateTime) {
    return SetLevelProperty("rkProcTreeHelper::SetSubLevelByPid", pid, subLevel, "SUB_LEVEL",
                            u"无效sublevel", pCreateTime);
}

bool rkProcTreeHelper::SetPropByPid(uint32_t pid, const std::u16string& value,
                                    const uint64_t* pCreateTime) {
    constexpr char kTag[] = "rkProcTreeHelper::SetPropByPid";
    if (!IsReady(kTag)) {
        return false;
    }
    const std::u16string copy = value;
    // The size travels as 32 bits: a text whose byte count does not fit is refused, not cut.
    if (copy.size() > kMaxPropertyBytes / 2) {
        Log(LogLevel::Error, kTag, u"属性长度异常,key=%s ,Len=%u", kConvertPath,
            static_cast<uint32_t>(copy.size()));
        return false;
    }
    return m_pProcTree->SetNodeProperty(pid, pCreateTime, kConvertPath, copy.data(),
                                        static_cast<uint32_t>(copy.size() * 2));
}

}  // namespace tierlock
