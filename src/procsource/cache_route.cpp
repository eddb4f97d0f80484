// The cache route: everything read from and written to the event's process-information cache.
#include <algorithm>

#include "log/log.h"
#include "platform/clock.h"
#include "procsource/process_source.h"
#include "proctree/cache_helper.h"
#include "proctree/level_pair.h"

namespace tierlock {
namespace {

// The record's image path up to its terminator, never past the field: a host record need not
// be terminated.
std::u16string ImagePathOf(const RkProcessInfoRecord& record) {
    constexpr size_t kUnits = sizeof(record.imagePath) / sizeof(record.imagePath[0]);
    const auto* end = std::find(record.imagePath, record.imagePath + kUnits, u'\0');
    return std::u16string(record.imagePath, end);
}

// The acting process's record names its parent at byte 16; the parent's own record then
// gives the identity and path that the tree route gives too.
bool FindParentRecord(IRKProcessTreeCache* cache, uint32_t pid, RkProcessInfoRecord& parent) {
    RkProcessInfoRecord acting{};
    if (!cache->GetProcessInfo(pid, nullptr, &acting) || acting.parentProcessId == 0) {
        return false;
    }
    parent = RkProcessInfoRecord{};
    return cache->GetProcessInfo(acting.parentProcessId, nullptr, &parent);
}

// The chain's members in the opposite of the host's order, as the records are kept as read.
const RkProcessInfoRecord& Member(const ChainRecords& records, size_t member) {
    return records[records.size() - 1 - member];
}

}  // namespace

void CacheRoute::ReadParent(uint32_t pid, const ParentRead& read, ParentProcess& parent) const {
    RkProcessInfoRecord record{};
    if (!FindParentRecord(m_cache, pid, record)) {
        Log(LogLevel::Error, read.tag, u"获取父进程节点失败,pid=%d", pid);
        return;
    }
    parent.pid = record.processId;
    parent.createTime = record.createTime;
    parent.path = ImagePathOf(record);

    rkProcessTreeCacheHelper helper(m_cache);
    uint64_t expiry = kNeverExpires;
    if (helper.GetProcessProperty(parent.pid, &parent.createTime, kFixLevelTtl, expiry) &&
        FixedPairInForce(expiry, platform::CurrentUnixSeconds())) {
        Log(LogLevel::Info, read.tag, u"存在有效的fixlevel");
        helper.GetProcessLevel(parent.pid, &parent.createTime, parent.level, parent.subLevel);
        read.levelKnown(parent, true);
    } else {
        helper.GetProcessLevel(parent.pid, &parent.createTime, parent.level, parent.subLevel);
        read.levelKnown(parent, false);
    }
    Log(LogLevel::Info, read.tag, u"pid=%d create_time=%llu path=%s", parent.pid, parent.createTime,
        parent.path);
    parent.levelRead = true;
}

uint32_t CacheRoute::ParentIdOf(uint32_t pid, const uint64_t& createTime) const {
    RkProcessInfoRecord info{};
    return m_cache->GetProcessInfo(pid, &createTime, &info) ? info.parentProcessId : 0;
}

void CacheRoute::FindChain(uint32_t pid, const ChainRequest& request, ProcessChain& chain) const {
    chain.m_tag = request.cacheTag;
    rkProcessTreeCacheHelper helper(m_cache);
    chain.m_found = helper.GetChainRecords(pid, chain.m_records);
    if (!chain.m_found) {
        Log(LogLevel::Error, request.cacheTag, u"获取进程链失败");
        if (request.failureEndsChain) {
            chain.m_records.clear();
            return;
        }
    }
    if (chain.m_records.empty()) {
        Log(LogLevel::Info, request.cacheTag, u"进程链无节点");
    }
}

void CacheRoute::WriteLevelPair(uint32_t pid, const uint64_t* createTime, int32_t level,
                                int32_t subLevel) const {
    rkProcessTreeCacheHelper helper(m_cache);
    helper.SetProcessProperty(pid, createTime, "LEVEL", level);
    helper.SetProcessProperty(pid, createTime, "SUB_LEVEL", subLevel);
}

size_t CacheRoute::MemberCount(const ProcessChain& chain) const {
    return chain.m_records.size();
}

uint32_t CacheRoute::MemberPid(const ProcessChain& chain, size_t member) const {
    return Member(chain.m_records, member).processId;
}

void CacheRoute::MemberPath(const ProcessChain& chain, size_t member, uint32_t,
                            MemberPathText& path) const {
    const RkProcessInfoRecord& record = Member(chain.m_records, member);
    constexpr size_t kUnits = sizeof(record.imagePath) / sizeof(record.imagePath[0]);
    // A record whose field ends in a terminator is read in place, for as long as the chain
    // lives; only one the host filled to the end needs a terminated copy.
    if (record.imagePath[kUnits - 1] == u'\0') {
        path.m_text = record.imagePath;
        path.m_length = MemberPathText::kUnmeasured;
        return;
    }
    const auto* end = std::find(record.imagePath, record.imagePath + kUnits, u'\0');
    const auto copied = std::copy(record.imagePath, end, path.m_fixed);
    *copied = u'\0';
    path.m_text = path.m_fixed;
    path.m_length = static_cast<size_t>(copied - path.m_fixed);
}

uint64_t CacheRoute::MemberCreateTime(const ProcessChain& chain, size_t member) const {
    return Member(chain.m_records, member).createTime;
}

bool CacheRoute::MemberLevel(const ProcessChain& chain, size_t member, int32_t* level,
                             int32_t* subLevel) const {
    const RkProcessInfoRecord& record = Member(chain.m_records, member);
    int32_t unreadLevel = 0;
    int32_t unreadSubLevel = 0;
    rkProcessTreeCacheHelper helper(m_cache);
    return helper.GetProcessLevel(record.processId, &record.createTime,
                                  level ? *level : unreadLevel,
                                  subLevel ? *subLevel : unreadSubLevel);
}

}  // namespace tierlock
