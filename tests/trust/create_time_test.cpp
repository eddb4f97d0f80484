// Creation times of processes known by id: natively against the substitute process table,
// under Wine against the real process and the system's process list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log.h"
#include "platform/processes.h"
#include "simhost/framework.h"
#include "simhost/text.h"
#include "trust/create_time.h"

#ifndef _WIN32
#include "platform/substitute.h"
#endif

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using tierlock::FileTimeToUnixMillis;
using tierlock::GetCreatetime;
namespace platform = tierlock::platform;

constexpr uint64_t kUntouched = 0x5A5A5A5A5A5A5A5Aull;
constexpr uint64_t kFileTime2022 = 133000000000000000ull;
constexpr uint64_t kMillis2022 = 1655526400000ull;
// Process ids are multiples of four; this one is never handed out.
constexpr uint32_t kMissingPid = 0x7FFFFFF0u;

std::u16string Line(std::u16string_view message) {
    return simhost::LogLine(30, "GetCreatetime", message);
}

std::u16string Pid(uint32_t pid) {
    return simhost::ToUtf16(std::to_string(pid));
}

class CreateTime : public ::testing::Test {
  protected:
    void SetUp() override { tierlock::g_pFrame.Assign(&framework_); }
    void TearDown() override {
        tierlock::g_pFrame.Reset();
#ifndef _WIN32
        platform::SetSubstituteProcesses({});
        EXPECT_EQ(platform::SubstituteOpenHandles(), 0u) << "a handle was left open";
#endif
    }

    simhost::Framework framework_;
};

TEST(FileTimeToUnixMillis, ConvertsAndClampsBefore1970) {
    const std::pair<uint64_t, uint64_t> cases[] = {
        {116444736000019999ull, 1},  // the remainder is dropped
        {116444735999990000ull, 0},  // a millisecond before 1970
        {UINT64_MAX, UINT64_MAX / 10000 - 11644473600000ull},
    };
    for (const auto& [fileTime, millis] : cases) {
        EXPECT_EQ(FileTimeToUnixMillis(fileTime), millis) << fileTime;
    }
}

TEST_F(CreateTime, OwnProcessMatchesItsProcessTimes) {
    const uint32_t pid = platform::CurrentProcessId();
#ifdef _WIN32
    FILETIME creation = {}, exit = {}, kernel = {}, user = {};
    ASSERT_TRUE(::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user));
    const uint64_t expected = FileTimeToUnixMillis(
        (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime);
#else
    platform::SetSubstituteProcesses({{pid, 1, u"test.exe", kFileTime2022}});
    const uint64_t expected = kMillis2022;
#endif
    uint64_t value = kUntouched;
    ASSERT_TRUE(GetCreatetime(pid, &value));
    EXPECT_EQ(value, expected);
    EXPECT_EQ(framework_.texts(),
              std::vector<std::u16string>{Line(u"GetProcessTimesByHandle Success,pid=" + Pid(pid) +
                                               u" create_time=" +
                                               simhost::ToUtf16(std::to_string(expected)))});
}

TEST_F(CreateTime, MissingProcessAnswersFalseAfterBothOpensFail) {
    EXPECT_FALSE(GetCreatetime(platform::CurrentProcessId(), nullptr));
    uint64_t value = kUntouched;
    EXPECT_FALSE(GetCreatetime(kMissingPid, &value));
    EXPECT_EQ(value, kUntouched);
    const std::u16string pid = Pid(kMissingPid);
    EXPECT_EQ(framework_.texts(), (std::vector<std::u16string>{
                                      Line(u"open process fail,try limited permission, pid=" + pid),
                                      Line(u"limited open process fail, pid=" + pid),
                                  }));
}

// Every route of the substitute: which opens succeed, whether the times can be read and
// whether the system's list has the process.
#ifndef _WIN32  // the process table is the substitute's
TEST_F(CreateTime, RoutesThroughHandleAndProcessList) {
    constexpr uint32_t kPid = 1234;
    const std::u16string tried = Line(u"open process fail,try limited permission, pid=1234");
    const std::u16string limitedFailed = Line(u"limited open process fail, pid=1234");
    const std::u16string byHandle = Line(u"GetProcessTimesByHandle Success,pid=1234 create_time=1");
    const std::u16string byList =
        Line(u"CWow64ext GetProcessTimes Success, pid=1234 create_time=1");
    struct Case {
        const char* name;
        bool openFull, openLimited, timesReadable, listed;
        bool found;
        std::vector<std::u16string> lines;
    };
    const Case cases[] = {
        {"full access", true, true, true, true, true, {byHandle}},
        {"limited access", false, true, true, true, true, {tried, byHandle}},
        {"opened, times unreadable", true, true, false, true, true, {byList}},
        {"not openable, listed", false, false, true, true, true, {tried, limitedFailed, byList}},
        {"not openable, not listed", false, false, true, false, false, {tried, limitedFailed}},
        {"times unreadable, not listed", true, true, false, false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        framework_.ClearLog();
        platform::SubstituteProcess process{kPid, 4, u"a.exe", 116444736000010000ull};
        process.openFull = c.openFull;
        process.openLimited = c.openLimited;
        process.timesReadable = c.timesReadable;
        process.listed = c.listed;
        platform::SetSubstituteProcesses({{7, 4, u"other.exe", kFileTime2022}, process});
        uint64_t value = kUntouched;
        EXPECT_EQ(GetCreatetime(kPid, &value), c.found);
        EXPECT_EQ(value, c.found ? 1u : kUntouched);
        EXPECT_EQ(framework_.texts(), c.lines);
        EXPECT_EQ(platform::SubstituteOpenHandles(), 0u);
    }
}
#endif

}  // namespace
