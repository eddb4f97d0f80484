// Runs the benchmarks, then prints the time ratio of every benchmark to its counterpart run
// in the same process (same argument), so that comparisons do not depend on a quiet machine,
// and the difference per iteration: for a plug-in path beside the host calls it cannot avoid,
// the plug-in's own time. CPU time is compared: on a shared machine the wall clock also counts
// the time other processes had the core.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// (subject, counterpart): the ratio printed is subject time / counterpart time.
const std::pair<const char*, const char*> kPairs[] = {
    {"BM_CandidatesLinear", "BM_CandidatesIndexed"},
    {"BM_RuleSetParse", "BM_RapidJsonParse"},
    {"BM_LastEventUnconfiguredLogRefused", "BM_FloorUnconfiguredLogRefused"},
    {"BM_LastEventUnconfiguredLogAccepted", "BM_FloorUnconfiguredLogAccepted"},
    {"BM_LastEventUnmatched", "BM_FloorUnmatched"},
    {"BM_LastEventMatched", "BM_FloorMatched"},
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const double seconds =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            // With repetitions the median stands for the benchmark: it holds against the
            // outliers a shared machine produces.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[run.run_name.str()] = seconds;
            } else if (run.run_type == Run::RT_Iteration) {
                times_[run.run_name.str()] = seconds;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [name, seconds] : medians_) {
            times_[name] = seconds;
        }
        for (const auto& [name, seconds] : times_) {
            for (const auto& [subject, counterpart] : kPairs) {
                const std::string prefix = std::string(subject) + "/";
                if (name.rfind(prefix, 0) != 0) {
                    continue;
                }
                const std::string other = counterpart + name.substr(std::string(subject).size());
                auto found = times_.find(other);
                if (found != times_.end() && found->second > 0) {
                    std::printf("ratio %s / %s = %.2f (difference %.0f ns)\n", name.c_str(),
                                other.c_str(), seconds / found->second,
                                (seconds - found->second) * 1e9);
                }
            }
        }
    }

  private:
    std::map<std::string, double> times_;
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
