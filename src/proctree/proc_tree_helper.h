#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "abi/host.h"
#include "abi/host_ref.h"

namespace tierlock {

// Where the helper's buffers come from: the C heap, unless a test makes allocations fail.
struct TreeHelperMemory {
    static inline void* (*allocate)(size_t bytes) noexcept = [](size_t bytes) noexcept {
        return std::malloc(bytes);
    };
    static void* Allocate(size_t bytes) noexcept { return allocate(bytes); }
    static void Release(void* block) noexcept { std::free(block); }
};

// The one access point to the host's process tree: finds nodes, walks them, reads their pid,
// parent, path, creation time and properties, and writes levels and the converted path back.
// One instance per process, never destroyed; it holds no reference on the host services.
class rkProcTreeHelper {
  public:
    static rkProcTreeHelper* GetInstance();

    // Keeps the first pair of services it is given; later calls change nothing.
    bool init(IRKProcTreeV3Ctrl* procTree, IRKProcessTreeHelperCtrl* helperCtrl);

    bool FindNode(uint32_t pid, uint32_t& outRootOffset, uint32_t& outNodeOffset,
                  const uint64_t* pCreateTime);
    bool GetPPidByPid(uint32_t pid, const uint64_t* pCreateTime, uint32_t& outPPid);
    bool GetRootPid(uint32_t rootOffset, uint32_t nodeOffset, uint32_t& outPid);
    bool GetAllNodePtr(uint32_t rootOffset, uint32_t nodeOffset, std::vector<uint32_t>& outNodes);
    bool GetChildNodes(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr,
                       std::vector<uint32_t>& outNodes);

    bool GetPathByRootOffset(uint32_t rootOffset, uint32_t nodeOffset, uint32_t pid, bool convert,
                             std::u16string& outPath);
    bool GetPathByNodeOffset(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr,
                             uint32_t pid, bool convert, std::u16string& outPath);

    bool GetLevelAndSubByRootOffset(uint32_t rootOffset, uint32_t nodeOffset, int32_t* outLevel,
                                    int32_t* outSubLevel);
    bool GetLevelAndSubByNodeOffset(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr,
                                    int32_t* outLevel, int32_t* outSubLevel);
    bool FixLevel_is_Exist_ByRootOffset(uint32_t rootOffset, uint32_t nodeOffset);
    bool isValidFixLevel(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr);

    bool SetLevelByPid(uint32_t pid, int32_t level, const uint64_t* pCreateTime);
    bool SetSubLevelByPid(uint32_t pid, int32_t subLevel, const uint64_t* pCreateTime);
    // Stores the converted image path under "CURRENT_CONVERT_PATH".
    bool SetPropByPid(uint32_t pid, const std::u16string& value, const uint64_t* pCreateTime);

    bool GetIntValue(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr, const char* name,
                     int32_t& outValue);
    bool GetInt64Value(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr, const char* name,
                       uint64_t& outValue);
    bool GetwstrValue(uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr, const char* name,
                      std::u16string& outValue);

  private:
    rkProcTreeHelper() = default;
    ~rkProcTreeHelper() = default;
    rkProcTreeHelper(const rkProcTreeHelper&) = delete;
    rkProcTreeHelper& operator=(const rkProcTreeHelper&) = delete;

    // Logs and answers false until init has stored the services.
    bool IsReady(const char* tag) const;
    // The guard, the argument check and the node pointer of the ByRootOffset operations.
    bool ResolveRootOffset(const char* tag, uint32_t rootOffset, uint32_t nodeOffset,
                           bool argumentsValid, uint32_t& nodePtr);
    // The node pointer of (root, node), logging under tag when the host has none.
    bool NodePtrOf(const char* tag, uint32_t rootOffset, uint32_t nodeOffset, uint32_t& nodePtr);
    // The node's image path as the host stores it; false when it has none or claims a length
    // no path can have.
    bool ReadNodePath(const char* tag, uint32_t rootOffset, uint32_t nodeOffset, uint32_t nodePtr,
                      uint32_t pid, std::u16string& outPath);
    // Writes a level value as 4 bytes; 0 and -1 are no levels and are refused.
    bool SetLevelProperty(const char* tag, uint32_t pid, int32_t value, const char* name,
                          const char16_t* refusal, const uint64_t* pCreateTime);

    // Written once by init under the process lock, published through m_bInit.
    BorrowedRef<IRKProcTreeV3Ctrl> m_pProcTree;
    BorrowedRef<IRKProcessTreeHelperCtrl> m_pHelperCtrl;
    std::atomic<bool> m_bInit{false};
};

}  // namespace tierlock
