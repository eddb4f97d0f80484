// `tierlock-host replay`: loads the plug-in as the host does, builds the simulated host from a
// scenario, replays its events through LastProcessEvent and reports each verdict with the
// pop-up request decoded, then whether every host reference and tree root came back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "explain.h"
#include "input_file.h"
#include "request.h"
#include "scenario.h"

namespace tierlock_host {

// Exit statuses of replay.
inline constexpr int kReplayRan = 0;
inline constexpr int kReplayFaulted = 1;  // plug-in not loaded, or references left unbalanced
inline constexpr int kReplayRefused = 2;  // bad arguments, scenario or configuration refused

struct ReplayOptions {
    std::string scenario;  // "-": standard input
    std::filesystem::path plugin;
    bool log = false;
    bool json = false;
    bool explain = false;
    uint64_t maxSize = kDefaultMaxInputSize;
    // Load a private copy of the library, so that its process-wide state starts afresh (for
    // more than one replay in one process).
    bool freshCopy = false;
    // A load run: the events this many times over, without a report per event.
    uint64_t repeat = 0;
};

struct EventOutcome {
    const ScenarioEvent* event = nullptr;
    int32_t verdict = 0;
    bool popup = false;
    std::optional<DecodedRequest> request;      // when the plug-in attached a request bundle
    size_t cloudQueries = 0, trustQueries = 0;  // the host's answers the event asked for
    std::vector<std::string> log;               // the plug-in's lines, UTF-8, without line ends
    std::vector<std::string> imbalances;        // the event's own objects
    Explanation explanation;
};

struct ReplayReport {
    Scenario scenario;
    std::filesystem::path plugin;
    bool ran = false;  // the plug-in was loaded and the events replayed
    bool initialised = false;
    std::vector<std::string> initLog;
    std::vector<std::string> configurationNotes;  // said before the events
    int32_t systemWidth = 0;                      // what the plug-in runs on
    std::u16string systemWindowsDirectory;
    std::vector<std::string> imbalances;
};

using ReplaySink = std::function<void(std::string_view)>;

// Runs the replay; the report is written to out piece by piece as each event is decided (text
// or JSON), refusals and failures to err.
int Replay(const ReplayOptions& options, const ReplaySink& out, std::string* err);
// The same, collecting the report in out.
int Replay(const ReplayOptions& options, std::string* out, std::string* err);

// The subcommand, given the arguments after "replay"; kUsageError or kHelpAsked for arguments
// it does not take.
extern const char kReplayUsage[];
int RunReplay(int argc, char** argv);

// Writes a replay's report as it goes: the head, each event once decided, then the end.
class ReplayWriter {
  public:
    virtual ~ReplayWriter() = default;
    virtual void Begin(const ReplayReport& report) = 0;
    virtual void Event(size_t index, const EventOutcome& outcome) = 0;
    virtual void End(const ReplayReport& report) = 0;
};
std::unique_ptr<ReplayWriter> MakeReplayWriter(bool json, bool withLog, bool explain,
                                               ReplaySink sink);
std::string VerdictName(int32_t verdict);

}  // namespace tierlock_host
