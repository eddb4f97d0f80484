#include "trust/create_time.h"

#include "log/log.h"
#include "native/native.h"
#include "platform/processes.h"

namespace tierlock {
namespace {

constexpr const char* kTag = "GetCreatetime";

// Owns an opened process handle.
class OpenedProcess {
  public:
    explicit OpenedProcess(platform::ProcessHandle handle) : m_handle(handle) {}
    ~OpenedProcess() {
        if (m_handle) {
            platform::CloseHandle(m_handle);
        }
    }
    OpenedProcess(const OpenedProcess&) = delete;
    OpenedProcess& operator=(const OpenedProcess&) = delete;

    platform::ProcessHandle get() const { return m_handle; }

  private:
    platform::ProcessHandle m_handle;
};

platform::ProcessHandle OpenForTimes(uint32_t pid) {
    platform::ProcessHandle handle =
        platform::OpenProcess(platform::kProcessQueryAndRead, false, pid);
    if (handle) {
        return handle;
    }
    Log(LogLevel::Info, kTag, u"open process fail,try limited permission, pid=%d", pid);
    handle = platform::OpenProcess(platform::kProcessQueryLimited, false, pid);
    if (!handle) {
        Log(LogLevel::Info, kTag, u"limited open process fail, pid=%d", pid);
    }
    return handle;
}

bool TimeFromProcessList(uint32_t pid, uint64_t* createTime) {
    uint64_t fileTime = 0;
    if (!native::ListedProcessCreateTime(pid, &fileTime)) {
        return false;
    }
    *createTime = FileTimeToUnixMillis(fileTime);
    Log(LogLevel::Info, kTag, u"CWow64ext GetProcessTimes Success, pid=%d create_time=%llu", pid,
        *createTime);
    return true;
}

}  // namespace

uint64_t FileTimeToUnixMillis(uint64_t fileTime) {
    constexpr uint64_t kMillisFrom1601To1970 = 11644473600000ull;
    const uint64_t millis = fileTime / 10000;
    return millis < kMillisFrom1601To1970 ? 0 : millis - kMillisFrom1601To1970;
}

bool GetCreatetime(uint32_t pid, uint64_t* createTime) {
    if (!createTime) {
        return false;
    }
    if (const OpenedProcess process(OpenForTimes(pid)); process.get()) {
        uint64_t creation = 0;
        uint64_t exit = 0;
        uint64_t kernel = 0;
        uint64_t user = 0;
        if (platform::GetProcessTimes(process.get(), &creation, &exit, &kernel, &user)) {
            *createTime = FileTimeToUnixMillis(creation);
            Log(LogLevel::Info, kTag, u"GetProcessTimesByHandle Success,pid=%d create_time=%llu",
                pid, *createTime);
            return true;
        }
    }
    return TimeFromProcessList(pid, createTime);
}

}  // namespace tierlock
