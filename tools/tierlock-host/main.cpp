// tierlock-host: plays the host. Loads the plug-in library by path, finds its exports by name
// and drives plug-in objects through their interface with the simulated host. Rule authors use
// it to check configurations and replay scenarios before they ship.
#include <cstdio>
#include <cstring>

#include "check.h"
#include "init_log.h"
#include "replay.h"
#include "version.h"

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(int argc, char** argv);  // the arguments after the command's name
};

const Command kCommands[] = {
    {"check", tierlock_host::kCheckUsage, tierlock_host::RunCheck},
    {"replay", tierlock_host::kReplayUsage, tierlock_host::RunReplay},
};

void PrintUsage() {
    for (const Command& command : kCommands) {
        std::fputs(command.usage, stderr);
    }
    std::fputs(tierlock_host::kInitLogUsage, stderr);
    std::fputs(tierlock_host::kVersionUsage, stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        return tierlock_host::RunVersion(argc - 2, argv + 2);
    }
    if (argc >= 2) {
        for (const Command& command : kCommands) {
            if (std::strcmp(argv[1], command.name) == 0) {
                const int status = command.run(argc - 2, argv + 2);
                if (status < 0) {
                    std::fputs(command.usage, stderr);
                    return 2;
                }
                return status;
            }
        }
    }
    // No command word: the original invocation, which scripts/run-example.sh uses.
    const int status = tierlock_host::RunInitLog(argc - 1, argv + 1);
    if (status < 0) {
        PrintUsage();
        return 2;
    }
    return status;
}
