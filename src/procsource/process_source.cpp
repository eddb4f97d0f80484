#include "procsource/process_source.h"

#include "abi/bundle.h"
#include "log/log.h"

namespace tierlock {

ProcessChain::ProcessChain(const ProcessRoute& route, uint32_t pid, const ChainRequest& request)
    : m_route(route) {
    route.FindChain(pid, request, *this);
}

ProcessChain::~ProcessChain() {
    m_route.ReleaseChain(*this);
}

size_t ProcessChain::size() const {
    return m_route.MemberCount(*this);
}

uint32_t ProcessChain::Pid(size_t member) const {
    return m_route.MemberPid(*this, member);
}

void ProcessChain::Path(size_t member, uint32_t pid, MemberPathText& path) const {
    m_route.MemberPath(*this, member, pid, path);
}

uint64_t ProcessChain::CreateTime(size_t member) const {
    return m_route.MemberCreateTime(*this, member);
}

bool ProcessChain::Level(size_t member, int32_t* level, int32_t* subLevel) const {
    return m_route.MemberLevel(*this, member, level, subLevel);
}

const ProcessRoute& ProcessSource::Route() const {
    if (IRKProcessTreeCache* cache = GetRKProcessTreeCache(m_target)) {
        m_cacheRoute.Bind(cache);
        return m_cacheRoute;
    }
    return m_treeRoute;
}

IRKProcessTreeCache* GetRKProcessTreeCache(IRkRuleTarget* target) {
    if (!target) {
        return nullptr;
    }
    IASBundle* bundle = target->GetBundle();
    if (!bundle) {
        Log(LogLevel::Error, "GetRKProcessTreeCache", u"nullptr == Bundle");
        return nullptr;
    }
    uint64_t value = 0;
    bundle->GetInt64(kProcessTreeCacheKey, &value);
    if (value == 0) {
        Log(LogLevel::Error, "GetRKProcessTreeCache", u"ProcessTreeCache is null");
        return nullptr;
    }
    return reinterpret_cast<IRKProcessTreeCache*>(static_cast<uintptr_t>(value));
}

}  // namespace tierlock
