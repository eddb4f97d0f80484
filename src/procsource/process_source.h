// One interface for what the plug-in reads and writes about processes: the parent of a process,
// its chain with each member's level pair, and a level pair written back. The host answers
// either from the event's process-information cache or from its process tree; ProcessSource
// picks the route from the event's target, and callers never ask which one answers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "abi/host.h"
#include "abi/records.h"
#include "proctree/cache_helper.h"

namespace tierlock {

// The tree services the tree route uses, borrowed from the plug-in for one event.
struct TreeServices {
    IRKProcTreeV3Ctrl* procTree = nullptr;
    IRKProcessTreeHelperCtrl* helperCtrl = nullptr;
    bool convertPaths = false;  // on 64-bit systems a tree path gets its system32 form
};

// The parent of a process as a route read it.
struct ParentProcess {
    bool levelRead = false;  // the route obtained a level pair
    uint32_t pid = 0;
    uint64_t createTime = 0;
    std::u16string path;
    int32_t level = 0;
    int32_t subLevel = 0;
};

// How the parent-level writer takes part while a route reads the parent: the tag of the route's
// lines, and what it says once the level pair and whether a fixed pair is in force are known.
struct ParentRead {
    const char* tag;
    std::function<void(const ParentProcess& parent, bool fixedInForce)> levelKnown;
};

// How one caller words the lines a route writes while it finds a chain.
struct ChainRequest {
    const char* cacheTag;           // the cache route's lines
    const char* treeTag;            // the tree route's lines
    const char16_t* treeMissing;    // error when the tree's services are not held
    bool failureNamesPid = false;   // the tree route's failure line names the process
    bool reportsEmptyTree = false;  // the tree route says so when it found no member
    bool failureEndsChain = false;  // a failed cache read leaves no chain to walk
    // Lines written first on the tree route (none when empty).
    std::function<void()> beforeTree = nullptr;
    // The creation time the tree lookup names the process by; when empty it names none.
    std::function<uint64_t()> treeCreateTime = nullptr;
};

class ProcessRoute;

// A chain member's image path: copied into the fixed field from the cache's record, or as the
// tree helper built it. Reused from member to member, so a walk costs no allocation on the
// cache route.
class MemberPathText {
  public:
    const char16_t* c_str() const { return m_text; }
    std::u16string_view view() const {
        if (m_length == kUnmeasured) {
            m_length = std::char_traits<char16_t>::length(m_text);
        }
        return {m_text, m_length};
    }

  private:
    friend class CacheRoute;
    friend class TreeRoute;
    static constexpr size_t kUnmeasured = ~size_t{0};

    char16_t m_fixed[sizeof(RkProcessInfoRecord::imagePath) / sizeof(char16_t) + 1];
    std::u16string m_built;
    const char16_t* m_text = u"";
    mutable size_t m_length = 0;  // measured at the first view when the route did not
};

// The members of a process chain as a route found them, in chain order. A tree chain holds the
// host's tree root until it is destroyed. Each member read asks the host when the route must.
class ProcessChain {
  public:
    // Finds the chain of pid on route, with the caller's wording.
    ProcessChain(const ProcessRoute& route, uint32_t pid, const ChainRequest& request);
    ProcessChain(const ProcessChain&) = delete;
    ProcessChain& operator=(const ProcessChain&) = delete;
    ~ProcessChain();

    // The route could be asked at all (the tree's services are held).
    bool available() const { return m_available; }
    // The route found the chain; it may still have no member.
    bool found() const { return m_found; }
    // The tag of the route's lines, for the caller's lines about the same chain.
    const char* tag() const { return m_tag; }
    size_t size() const;

    uint32_t Pid(size_t member) const;
    // The image path into path; pid is the member's id as Pid answered it.
    void Path(size_t member, uint32_t pid, MemberPathText& path) const;
    uint64_t CreateTime(size_t member) const;
    // The level pair in force; a null out pointer is not read. False when not obtained.
    bool Level(size_t member, int32_t* level, int32_t* subLevel) const;

  private:
    friend class CacheRoute;
    friend class TreeRoute;

    const ProcessRoute& m_route;
    const char* m_tag = "";
    bool m_available = true;
    bool m_found = false;
    ChainRecords m_records;            // the cache route's members
    std::vector<uint32_t> m_nodePtrs;  // the tree route's members
    uint32_t m_root = 0;
    uint32_t m_node = 0;
};

// One route: the event's cache or the process tree.
class ProcessRoute {
  public:
    virtual ~ProcessRoute() = default;

    // False when the route cannot be asked at all (the tree's services are not held).
    virtual bool Available() const = 0;
    // Reads the parent of pid: its identity, path and level pair.
    virtual void ReadParent(uint32_t pid, const ParentRead& read, ParentProcess& parent) const = 0;
    // The parent the host knows for pid now; 0 when it does not know it.
    virtual uint32_t ParentIdOf(uint32_t pid, const uint64_t& createTime) const = 0;
    // Writes a level pair back to the host.
    virtual void WriteLevelPair(uint32_t pid, const uint64_t* createTime, int32_t level,
                                int32_t subLevel) const = 0;

  protected:
    friend class ProcessChain;
    virtual void FindChain(uint32_t pid, const ChainRequest& request,
                           ProcessChain& chain) const = 0;
    virtual size_t MemberCount(const ProcessChain& chain) const = 0;
    virtual uint32_t MemberPid(const ProcessChain& chain, size_t member) const = 0;
    virtual void MemberPath(const ProcessChain& chain, size_t member, uint32_t pid,
                            MemberPathText& path) const = 0;
    virtual uint64_t MemberCreateTime(const ProcessChain& chain, size_t member) const = 0;
    virtual bool MemberLevel(const ProcessChain& chain, size_t member, int32_t* level,
                             int32_t* subLevel) const = 0;
    virtual void ReleaseChain(ProcessChain& chain) const = 0;
};

// The cache route, over the cache the target carries.
class CacheRoute final : public ProcessRoute {
  public:
    void Bind(IRKProcessTreeCache* cache) { m_cache = cache; }

    bool Available() const override { return true; }
    void ReadParent(uint32_t pid, const ParentRead& read, ParentProcess& parent) const override;
    uint32_t ParentIdOf(uint32_t pid, const uint64_t& createTime) const override;
    void WriteLevelPair(uint32_t pid, const uint64_t* createTime, int32_t level,
                        int32_t subLevel) const override;

  private:
    void FindChain(uint32_t pid, const ChainRequest& request, ProcessChain& chain) const override;
    size_t MemberCount(const ProcessChain& chain) const override;
    uint32_t MemberPid(const ProcessChain& chain, size_t member) const override;
    void MemberPath(const ProcessChain& chain, size_t member, uint32_t pid,
                    MemberPathText& path) const override;
    uint64_t MemberCreateTime(const ProcessChain& chain, size_t member) const override;
    bool MemberLevel(const ProcessChain& chain, size_t member, int32_t* level,
                     int32_t* subLevel) const override;
    void ReleaseChain(ProcessChain&) const override {}

    IRKProcessTreeCache* m_cache = nullptr;
};

// The tree route, through the plug-in's tree services and the process-wide tree helper.
class TreeRoute final : public ProcessRoute {
  public:
    explicit TreeRoute(const TreeServices& services) : m_services(services) {}

    bool Available() const override { return m_services.procTree && m_services.helperCtrl; }
    void ReadParent(uint32_t pid, const ParentRead& read, ParentProcess& parent) const override;
    uint32_t ParentIdOf(uint32_t pid, const uint64_t& createTime) const override;
    void WriteLevelPair(uint32_t pid, const uint64_t* createTime, int32_t level,
                        int32_t subLevel) const override;

  private:
    void FindChain(uint32_t pid, const ChainRequest& request, ProcessChain& chain) const override;
    size_t MemberCount(const ProcessChain& chain) const override;
    uint32_t MemberPid(const ProcessChain& chain, size_t member) const override;
    void MemberPath(const ProcessChain& chain, size_t member, uint32_t pid,
                    MemberPathText& path) const override;
    uint64_t MemberCreateTime(const ProcessChain& chain, size_t member) const override;
    bool MemberLevel(const ProcessChain& chain, size_t member, int32_t* level,
                     int32_t* subLevel) const override;
    void ReleaseChain(ProcessChain& chain) const override;

    TreeServices m_services;
};

// The routes of one event. Route reads the target's cache entry each time it is asked, as the
// host has always seen it read once per question, and hands out the route that answers.
class ProcessSource {
  public:
    ProcessSource(IRkRuleTarget* target, const TreeServices& tree)
        : m_target(target), m_treeRoute(tree) {}
    ProcessSource(const ProcessSource&) = delete;
    ProcessSource& operator=(const ProcessSource&) = delete;

    const ProcessRoute& Route() const;

  private:
    IRkRuleTarget* m_target;
    mutable CacheRoute m_cacheRoute;
    TreeRoute m_treeRoute;
};

// The event's process-information cache, or null (logged) when the target carries none.
IRKProcessTreeCache* GetRKProcessTreeCache(IRkRuleTarget* target);

}  // namespace tierlock
