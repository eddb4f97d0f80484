// LastProcessEvent from 1, 2, 4 and 8 threads at once on one plug-in object: the uncovered,
// the covered-unmatched and the matched case. Each thread has its own event-side host objects
// (event, engine, target, process cache); the plug-in object and the services it queried at
// Init are shared, as in the host. Prints events per second per thread count beside the
// one-thread figure, the median of the repetitions.
//
// The shared services of the simulated host keep no record of their calls here and answer
// without their locks, so that the figures show the plug-in's own sharing, not the host's.
//
// usage: tierlock_thread_bench [SECONDS_PER_RUN [REPETITIONS]]   (default 0.3 and 3)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "abi/report_records.h"
#include "generated_config.h"
#include "last_event_scene.h"

namespace bench {
namespace {

struct Case {
    const char* name;
    std::string config;
    uint32_t ruleId;
    int32_t verdict;
    size_t renewEvery;  // a reported event keeps its request bundle until the renewal
};

using Clock = std::chrono::steady_clock;

// One thread's events: counts them and the time spent in them, renewals left out.
struct Worker {
    std::unique_ptr<Scene> scene;
    uint64_t events = 0;
    double seconds = 0;
    bool wrongVerdict = false;
};

void RunWorker(tierlock::Tierlock& plug, const Case& which, Worker& worker,
               const std::atomic<bool>& go, const std::atomic<bool>& stop) {
    Scene& scene = *worker.scene;
    while (!go.load(std::memory_order_acquire)) {
        std::this_thread::yield();
    }
    while (!stop.load(std::memory_order_relaxed)) {
        const Clock::time_point start = Clock::now();
        for (size_t i = 0; i < which.renewEvery; ++i) {
            if (plug.LastProcessEvent(scene.event(), scene.engine()) != which.verdict) {
                worker.wrongVerdict = true;
            }
        }
        worker.seconds += std::chrono::duration<double>(Clock::now() - start).count();
        worker.events += which.renewEvery;
        scene.Renew();
    }
}

// Events per second of all threads together: the sum of each thread's rate over its own time
// in events, so that neither the renewals nor the thread start count.
double Throughput(tierlock::Tierlock& plug, const Case& which, std::vector<Worker>& workers,
                  size_t threadCount, double seconds, bool* wrong) {
    std::atomic<bool> go{false}, stop{false};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < threadCount; ++t) {
        workers[t].events = 0;
        workers[t].seconds = 0;
        threads.emplace_back(RunWorker, std::ref(plug), std::cref(which), std::ref(workers[t]),
                             std::cref(go), std::cref(stop));
    }
    go.store(true, std::memory_order_release);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop.store(true);
    double rate = 0;
    for (size_t t = 0; t < threadCount; ++t) {
        threads[t].join();
        rate += workers[t].seconds > 0 ? workers[t].events / workers[t].seconds : 0;
        *wrong = *wrong || workers[t].wrongVerdict;
    }
    return rate;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    using namespace bench;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.3;
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const Case cases[] = {
        {"uncovered (1000 rules)", ManyRulesConfiguration(1000), 5000, tierlock::kVerdictNone,
         2048},
        {"covered, unmatched", kConfiguredConfiguration, 102, tierlock::kVerdictNone, 256},
        {"matched, reported", kConfiguredConfiguration, 101, tierlock::kVerdictShown, 16},
    };
    constexpr size_t kThreadCounts[] = {1, 2, 4, 8};
    std::printf("%-24s %8s %14s %10s\n", "case", "threads", "events/s", "x 1 thread");
    bool wrong = false;
    for (const Case& which : cases) {
        // The host: its services and the plug-in object every thread calls.
        Scene host(which.config, which.ruleId, LogPolicy::InfoRefused, false);
        std::vector<Worker> workers(8);
        for (Worker& worker : workers) {
            worker.scene =
                std::make_unique<Scene>(which.config, which.ruleId, LogPolicy::InfoRefused, false);
        }
        tierlock::Tierlock plug;
        plug.Init(host.framework(), which.config.data(), static_cast<int32_t>(which.config.size()));
        plug.SetEnable(tierlock::RKOPT_TIERLOCK_ENABLE, true);
        host.RecordCalls(false);  // the host's services then share nothing among the threads
        host.MakeCurrent();
        host.Renew();
        double single = 0;
        for (size_t threadCount : kThreadCounts) {
            std::vector<double> rates;
            for (int r = 0; r < repetitions; ++r) {
                rates.push_back(Throughput(plug, which, workers, threadCount, seconds, &wrong));
            }
            std::sort(rates.begin(), rates.end());
            const double median = rates[rates.size() / 2];
            if (threadCount == 1) {
                single = median;
            }
            std::printf("%-24s %8zu %14.0f %10.2f\n", which.name, threadCount, median,
                        single > 0 ? median / single : 0);
            std::fflush(stdout);
        }
        plug.UnInit();
    }
    if (wrong) {
        std::fprintf(stderr, "an event did not get the verdict of its case\n");
        return 1;
    }
    return 0;
}
