#include "replay_load.h"

#include <chrono>
#include <cstdio>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>
#endif

namespace tierlock_host {
namespace {

// The host's records are forgotten this often, so that what grows is the plug-in's.
constexpr uint64_t kClearEvery = 1000;
constexpr uint64_t kEarlySample = 10000;
constexpr size_t kImbalancesKept = 10;

std::string Describe(const char* when, const MemoryUse& use) {
    char line[160];
    std::snprintf(line, sizeof(line), "memory %-24s resident %8.1f KiB, private %8.1f KiB\n", when,
                  use.resident / 1024.0, use.privateBytes / 1024.0);
    return line;
}

}  // namespace

#if defined(_WIN32)
MemoryUse CurrentMemoryUse() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
        return {};
    }
    // Wine leaves PrivateUsage at 0 and counts the private bytes as the page file's.
    return {counters.WorkingSetSize,
            counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage};
}
#else
MemoryUse CurrentMemoryUse() {
    // /proc/self/status: "VmRSS:   1234 kB", and the anonymous part of it as the private one.
    MemoryUse use;
    std::ifstream status("/proc/self/status");
    std::string line;
    unsigned long long kib = 0;
    while (std::getline(status, line)) {
        if (std::sscanf(line.c_str(), "VmRSS: %llu kB", &kib) == 1) {
            use.resident = kib * 1024;
        } else if (std::sscanf(line.c_str(), "RssAnon: %llu kB", &kib) == 1) {
            use.privateBytes = kib * 1024;
        }
    }
    return use;
}
#endif

std::vector<std::string> ReplayRepeated(IRkRulePlug& plug, ScenarioHost& host,
                                        const Scenario& scenario, uint64_t repeat,
                                        simhost::BaseComponentModules* components,
                                        const ReplaySink& out) {
    simhost::Framework& framework = host.framework();
    const auto forget = [&] {
        host.ClearRecords();
        if (components) {
            components->ClearCalls();
        }
    };
    forget();
    out(Describe("at the start:", CurrentMemoryUse()));
    std::vector<std::string> imbalances;
    size_t imbalanceCount = 0;
    uint64_t done = 0;
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t pass = 0; pass < repeat; ++pass) {
        for (const ScenarioEvent& event : scenario.events) {
            const auto objects = host.MakeEvent(event);
            framework.SetPopWndAnswer(true, event.answer);
            plug.LastProcessEvent(&objects->event, &objects->engine);
            framework.ClearLog();  // the lines of one event can be many kilobytes
            for (const std::string& line : ScenarioHost::Imbalances(*objects)) {
                if (imbalances.size() < kImbalancesKept) {
                    imbalances.push_back(event.name + ": " + line);
                }
                ++imbalanceCount;
            }
            if (++done % kClearEvery == 0) {
                forget();
            }
            if (done == kEarlySample) {
                out(Describe("after 10000 events:", CurrentMemoryUse()));
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    forget();
    out(Describe("at the end:", CurrentMemoryUse()));
    char line[160];
    std::snprintf(
        line, sizeof(line), "%llu events (%zu x %llu) in %.2f s: %.0f events per second\n",
        static_cast<unsigned long long>(done), scenario.events.size(),
        static_cast<unsigned long long>(repeat), seconds, seconds > 0 ? done / seconds : 0.0);
    out(line);
    if (imbalanceCount > imbalances.size()) {
        imbalances.push_back("and " + std::to_string(imbalanceCount - imbalances.size()) +
                             " more unbalanced references of events");
    }
    return imbalances;
}

}  // namespace tierlock_host
