// The tool's original command, kept for scripts/run-example.sh: initialise the plug-in with one
// configuration, switch it on, call its idle hooks, shut it down and print every log line.
#pragma once

namespace tierlock_host {

extern const char kInitLogUsage[];

// Arguments after the program name: [--plugin LIBRARY] [--config FILE].
int RunInitLog(int argc, char** argv);

}  // namespace tierlock_host
