// `tierlock-host replay`: loads the plug-in as the host does, builds the simulated host from a
// scenario, replays its events through LastProcessEvent and reports each verdict with the
// pop-up request decoded, then whether every host reference and tree root came back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "request.h"
#include "scenario.h"

namespace tierlock_host {

// Exit statuses of replay.
inline constexpr int kReplayRan = 0;
inline constexpr int kReplayFaulted = 1;  // plug-in not loaded, or references left unbalanced
inline constexpr int kReplayRefused = 2;  // bad arguments, or scenario unreadable or refused

struct ReplayOptions {
    std::filesystem::path scenario;
    std::filesystem::path plugin;
    bool log = false;
    bool json = false;
    // Load a private copy of the library, so that its process-wide state starts afresh (for
    // more than one replay in one process).
    bool freshCopy = false;
};

struct EventOutcome {
    const ScenarioEvent* event = nullptr;
    int32_t verdict = 0;
    bool popup = false;
    std::optional<DecodedRequest> request;      // when the plug-in attached a request bundle
    size_t cloudQueries = 0, trustQueries = 0;  // the host's answers the event asked for
    std::vector<std::string> log;               // the plug-in's lines, UTF-8, without line ends
    std::vector<std::string> imbalances;        // the event's own objects
};

struct ReplayReport {
    Scenario scenario;
    std::filesystem::path plugin;
    bool ran = false;  // the plug-in was loaded and the events replayed
    bool initialised = false;
    std::vector<std::string> initLog;
    int32_t systemWidth = 0;  // what the plug-in runs on
    std::u16string systemWindowsDirectory;
    std::vector<EventOutcome> events;
    std::vector<std::string> imbalances;
};

// Runs the replay; the report is written to out (text or JSON), refusals and failures to err.
int Replay(const ReplayOptions& options, std::string* out, std::string* err);

// The subcommand, given the arguments after "replay"; -1 for arguments it does not take.
extern const char kReplayUsage[];
int RunReplay(int argc, char** argv);

// Formatting of a finished replay.
std::string ReplayText(const ReplayReport& report, bool withLog);
std::string ReplayJson(const ReplayReport& report, bool withLog);
std::string VerdictName(int32_t verdict);

}  // namespace tierlock_host
