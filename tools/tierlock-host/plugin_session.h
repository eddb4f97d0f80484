// One simulated host for the tool's commands: the framework with every service Init asks for,
// kept for the whole run because the plug-in's process tree helper keeps the first pair of
// tree services it is given.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simhost/framework.h"
#include "simhost/plugin_library.h"
#include "simhost/proc_tree.h"
#include "simhost/services.h"

namespace tierlock_host {

// One log line taken apart: "[tierlock][WORD ][tag] message\n".
struct PluginLine {
    int32_t level = 0;
    std::string tag;
    std::string message;
};

class PluginSession {
  public:
    explicit PluginSession(const simhost::PluginLibrary& library);
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    // Initialises a fresh plug-in object with config, shuts it down and releases it; answers
    // every line it logged, or nothing when the library refuses to create the object.
    std::optional<std::vector<PluginLine>> InitOnce(std::string_view config);

  private:
    const simhost::PluginLibrary& library_;
    simhost::Framework framework_;
    simhost::CacheService cache_;
    simhost::CloudEngine cloud_;
    simhost::TrustQueryV2 trustQuery_;
    simhost::ProcessTree tree_;
};

PluginLine SplitLogLine(const simhost::LogRecord& record);

}  // namespace tierlock_host
