// The native readers and the process snapshot: natively against the substitute system
// library, under Wine for real in each prefix.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "native/native_reader.h"
#include "native/process_snapshot.h"
#include "platform/native_functions.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "platform/text.h"

#ifndef _WIN32
#include "platform/substitute.h"
#endif

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef _WIN32
// Allocations left before the next one fails; negative: none fails. Armed by one test only.
// The other forms of new and delete forward to these.
std::atomic<long> g_allocationsLeft{-1};

void* operator new(std::size_t size) {
    void* block = g_allocationsLeft.load() >= 0 && g_allocationsLeft.fetch_sub(1) == 0
                      ? nullptr
                      : std::malloc(size ? size : 1);
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}
// This delete pairs with the new above, which takes its blocks from malloc.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
#endif

namespace {

using namespace tierlock::platform;
using namespace tierlock::native;

constexpr uint32_t kExtendedProcessInformation = 57;

// The reader this process should get: Native in a 64-bit process; in a 32-bit one the test
// script says whether the prefix runs 64-bit Windows (WOW64) or 32-bit Windows.
const std::type_info& ExpectedReader() {
#ifdef _WIN32
    if (sizeof(void*) == 8) {
        return typeid(Native);
    }
    const char* win64 = std::getenv("TIERLOCK_EXPECT_WIN64");
    EXPECT_NE(win64, nullptr) << "run Windows tests through scripts/test.sh";
    return win64 && std::string(win64) == "1" ? typeid(NativeWow64) : typeid(x86Native);
#else
    return typeid(Native);
#endif
}

TEST(ProcessSnapshot, ReaderFitsThisSystem) {
    const ProcessSnapshot snapshot(CurrentProcess());
    const std::type_info& expected = ExpectedReader();
    ASSERT_EQ(typeid(snapshot.reader()), expected) << typeid(snapshot.reader()).name();
    EXPECT_EQ(snapshot.pid(), CurrentProcessId());
    // A snapshot of its own process: reader and target never differ in width.
    const BitnessBarrier& barrier = snapshot.reader().barrier();
    EXPECT_FALSE(barrier.mismatch);
    EXPECT_EQ(barrier.type,
              expected == typeid(Native) ? BitnessBarrier::kBoth64 : BitnessBarrier::kBoth32);
    EXPECT_EQ(barrier.sourceWow64 && barrier.targetWow64, expected != typeid(Native));
    EXPECT_EQ(barrier.x86OS, expected == typeid(x86Native));
}

#ifndef _WIN32  // the system's width and the WOW64 answers are the substitute's
TEST(ProcessSnapshot, ReaderAndBarrierBySystemAndWow64) {
    struct Case {
        std::optional<uint16_t> architecture;
        bool wow64;
        const std::type_info& reader;
        uint32_t type;
    };
    const Case cases[] = {
        {0, false, typeid(x86Native), BitnessBarrier::kBoth32},
        {0, true, typeid(x86Native), BitnessBarrier::kBoth32},
        {kArchitectureAmd64, true, typeid(NativeWow64), BitnessBarrier::kBoth32},
        {kArchitectureAmd64, false, typeid(Native), BitnessBarrier::kBoth64},
        {12, false, typeid(Native), BitnessBarrier::kBoth64},
        {std::nullopt, false, typeid(Native), BitnessBarrier::kBoth64},
    };
    for (const Case& c : cases) {
        SetSubstituteArchitecture(c.architecture);
        SetSubstituteWow64(c.wow64);
        const ProcessSnapshot snapshot(CurrentProcess());
        EXPECT_EQ(typeid(snapshot.reader()), c.reader);
        EXPECT_EQ(snapshot.reader().barrier().type, c.type);
    }
    SetSubstituteArchitecture(kArchitectureAmd64);

    // The substitute answers WOW64 only for the current process, so any other target is
    // 64-bit: a WOW64 reader then faces a mismatch.
    SetSubstituteProcesses({{40, 4, u"other.exe", 1}});
    ProcessHandle other = OpenProcess(kProcessQueryLimited, false, 40);
    ASSERT_NE(other, nullptr);
    for (bool wow64 : {false, true}) {
        SetSubstituteWow64(wow64);
        const Native reader(other, false);
        const BitnessBarrier& barrier = reader.barrier();
        EXPECT_EQ(std::tuple(barrier.mismatch, barrier.sourceWow64, barrier.targetWow64),
                  std::tuple(wow64, wow64, false));
        EXPECT_EQ(barrier.type,
                  wow64 ? BitnessBarrier::kReader32Target64 : BitnessBarrier::kBoth64);
    }
    tierlock::platform::CloseHandle(other);
    SetSubstituteWow64(false);
    SetSubstituteProcesses({});
}
#endif

// Each operation whose system function this process lacks answers 0xC0000138 and leaves the
// caller's buffer alone.
TEST(NativeReaders, MissingFunctionAnswersProcedureNotFound) {
    NativeWow64 wow64(CurrentProcess(), false);
    Native native(CurrentProcess(), false);
    struct Case {
        const char16_t* module;
        const char* function;
        std::function<NtStatus(unsigned char*)> call;
    };
    const Case cases[] = {
        {u"ntdll.dll", "NtWow64ReadVirtualMemory64",
         [&](unsigned char* buffer) { return wow64.ReadMemory(0x10000, buffer, 8, nullptr); }},
        {u"ntdll.dll", "NtWow64QueryInformationProcess64",
         [&](unsigned char* buffer) { return wow64.QueryProcessInfo(0, buffer, 8, nullptr); }},
        {u"kernel32.dll", "Wow64GetThreadContext",
         [&](unsigned char* buffer) { return native.GetThreadContext32(nullptr, buffer); }},
        {u"ntdll.dll", "NtQueryVirtualMemory",
         [&](unsigned char* buffer) {
             return native.QueryVirtualMemory(0x10000, 0, buffer, 8, nullptr);
         }},
    };
    int missing = 0;
    for (const Case& c : cases) {
        void* module = os::ModuleHandle(c.module);
        if (module && os::ProcAddress(module, c.function)) {
            continue;
        }
        ++missing;
        unsigned char buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_EQ(c.call(buffer), kStatusProcedureNotFound) << c.function;
        EXPECT_EQ(buffer[0], 1) << c.function;
    }
    // A 64-bit system library has no WOW64 functions; so has the substitute.
    if (sizeof(void*) == 8) {
        EXPECT_GE(missing, 2);
    }
}

// A 32-bit system has no 64-bit structures, and outside a 32-bit process the call gate is
// never reached.
TEST(NativeReaders, SixtyFourBitStructuresOnlyWhereTheyExist) {
    x86Native x86(CurrentProcess());
    EXPECT_EQ(x86.GetThreadContext64(nullptr, nullptr), kStatusNotSupported);
    EXPECT_EQ(x86.GetPEB64(nullptr), 0u);
    EXPECT_EQ(LastNtStatus(), kStatusNotSupported);
    EXPECT_EQ(x86.GetTEB64(nullptr, nullptr), 0u);
    EXPECT_EQ(LastNtStatus(), kStatusNotSupported);
    if (sizeof(void*) == 8) {  // in a 32-bit process the gate is real
        NativeWow64 wow64(CurrentProcess(), false);
        uint32_t size = 0;
        unsigned char buffer[64] = {};
        EXPECT_EQ(wow64.QueryThreadInfo(nullptr, 0, buffer, sizeof(buffer), &size),
                  kStatusProcedureNotFound);
        EXPECT_EQ(wow64.GetThreadContext64(nullptr, buffer), kStatusProcedureNotFound);
        EXPECT_EQ(wow64.GetTEB64(nullptr, nullptr), 0u);
        EXPECT_EQ(LastNtStatus(), kStatusProcedureNotFound);
    }
}

#ifndef _WIN32
// A refused query is reported with its own status, not as a block without an address.
TEST(NativeReaders, RefusedWow64QueryKeepsItsStatus) {
    Native native(CurrentProcess(), false);
    unsigned char copy[8] = {};
    EXPECT_EQ(native.GetPEB32(copy), 0u);
    EXPECT_EQ(LastNtStatus(), NtStatus{0xC0000003});  // STATUS_INVALID_INFO_CLASS
}
#endif

// Readers made at the same moment on a fresh process all wait for the whole function table.
TEST(NativeReaders, ConcurrentReadersSeeTheWholeTable) {
    std::vector<NtStatus> answers(8, kStatusSuccess);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < answers.size(); ++i) {
        threads.emplace_back([&answers, i] {
            Native reader(CurrentProcess(), false);
            uint32_t needed = 0;
            answers[i] = reader.QuerySystemInfo(kExtendedProcessInformation, nullptr, 0, &needed);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (NtStatus status : answers) {
        EXPECT_NE(status, kStatusProcedureNotFound);
    }
}

#ifdef _WIN32  // natively the substitute's list is read entry by entry
TEST(ProcessSnapshot, ListsThisProcessWithItsCreationTime) {
    FILETIME creation = {}, exit = {}, kernel = {}, user = {};
    ASSERT_TRUE(::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user));
    const ProcessList processes = ProcessSnapshot(CurrentProcess()).EnumProcesses();
    const auto own = std::find_if(processes.begin(), processes.end(), [](const auto& process) {
        return process->pid == CurrentProcessId();
    });
    ASSERT_NE(own, processes.end());
    EXPECT_EQ((*own)->createTime,
              (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime);
    EXPECT_FALSE((*own)->imageName.empty());
    for (const auto& process : processes) {
        EXPECT_NE(process->pid, 0u) << "the idle entry is skipped";
    }
    uint64_t found = 0;
    EXPECT_TRUE(ProcessSnapshot(CurrentProcess()).FindCreateTime(CurrentProcessId(), &found));
    EXPECT_EQ(found, (*own)->createTime);
}
#else  // the process table and its blocks are the substitute's
TEST(ProcessSnapshot, EntriesAsTheSystemListsThem) {
    SubstituteProcess hidden{30, 4, u"hidden.exe", 3};
    hidden.listed = false;
    SetSubstituteProcesses({{0, 0, u"", 0}, {8, 4, u"", 2}, {12, 8, u"b.exe", 5}, hidden});
    const ProcessList processes = ProcessSnapshot(CurrentProcess()).EnumProcesses();
    ASSERT_EQ(processes.size(), 2u);
    EXPECT_EQ(std::tuple(processes[0]->pid, processes[0]->imageName, processes[0]->createTime),
              std::tuple(8u, u"", 2u));
    EXPECT_EQ(std::tuple(processes[1]->pid, processes[1]->parentPid, processes[1]->imageName),
              std::tuple(12u, 8u, u"b.exe"));
    // A creation time is looked up in the same list: the first entry of the pid, never the
    // idle entry or an unlisted process.
    SetSubstituteProcesses({{0, 0, u"", 9}, {12, 8, u"b.exe", 5}, {12, 8, u"c.exe", 6}, hidden});
    const ProcessSnapshot snapshot(CurrentProcess());
    for (auto [pid, expected] :
         {std::pair{12u, std::optional<uint64_t>(5)}, {30u, std::nullopt}, {0u, std::nullopt}}) {
        uint64_t found = 77;
        EXPECT_EQ(snapshot.FindCreateTime(pid, &found), expected.has_value()) << pid;
        EXPECT_EQ(found, expected.value_or(77)) << pid;
    }
    SetSubstituteProcesses({});
}

// Processes that start between the size probe and the read: a larger read follows, a few
// times at most.
TEST(ProcessSnapshot, ListThatGrowsBetweenProbeAndRead) {
    struct Case {
        uint32_t reads, perRead;
        size_t listed;
    };
    const Case cases[] = {{1, 1, 3}, {2, 1, 4}, {1, 40, 42}, {1000, 40, 0}};
    for (const Case& c : cases) {
        SetSubstituteProcesses({{8, 4, u"a.exe", 1}, {12, 4, u"b.exe", 1}});
        SetSubstituteProcessListGrowth(c.reads, c.perRead);
        EXPECT_EQ(ProcessSnapshot(CurrentProcess()).EnumProcesses().size(), c.listed)
            << c.reads << " reads growing by " << c.perRead;
    }
    SetSubstituteProcessListGrowth(0, 0);
    SetSubstituteProcesses({});
}

// Memory that runs out while the list is built: the block the system filled is given back
// whichever allocation fails.
TEST(ProcessSnapshot, TheBlockIsReleasedWhenTheListCannotBeBuilt) {
    SetSubstituteProcesses({{8, 4, u"a.exe", 1}, {12, 4, u"b.exe", 1}, {16, 4, u"c.exe", 1}});
    const ProcessSnapshot snapshot(CurrentProcess());
    bool failed = false;
    for (long budget = 0; budget < 40; ++budget) {
        SCOPED_TRACE(budget);
        g_allocationsLeft = budget;
        try {
            const ProcessList processes = snapshot.EnumProcesses();
            g_allocationsLeft = -1;
            EXPECT_EQ(processes.size(), 3u);
        } catch (const std::bad_alloc&) {
            g_allocationsLeft = -1;
            failed = true;
        }
        EXPECT_EQ(SubstituteCommittedBlocks(), 0u);
    }
    EXPECT_TRUE(failed);
    SetSubstituteProcesses({});
}
#endif

TEST(ProcessSnapshot, DeviceMapKeepsTheFirstDriveOfADevice) {
#ifdef _WIN32
    const ProcessSnapshot snapshot(CurrentProcess());
    for (const auto& [device, drive] : snapshot.deviceMap()) {
        EXPECT_EQ(device, ToLowerAscii(device));
        ASSERT_EQ(drive.size(), 2u);
        EXPECT_TRUE(drive[0] >= u'a' && drive[0] <= u'z' && drive[1] == u':');
    }
#else
    SetSubstituteDosDevice(u"D:", u"\\Device\\HarddiskVolume1");
    SetSubstituteDosDevice(u"Z:", u"\\Device\\Unix");
    const ProcessSnapshot snapshot(CurrentProcess());
    const std::map<std::u16string, std::u16string> expected = {
        {u"\\device\\harddiskvolume1", u"c:"}, {u"\\device\\unix", u"z:"}};
    EXPECT_EQ(snapshot.deviceMap(), expected);
    SetSubstituteDosDevice(u"D:", u"");
    SetSubstituteDosDevice(u"Z:", u"");
#endif
}

}  // namespace
