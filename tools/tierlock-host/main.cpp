// tierlock-host: plays the host. Loads the plug-in library by path, finds its exports by name
// and drives plug-in objects through their interface with the simulated host. Rule authors use
// it to check configurations and replay scenarios before they ship.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "check.h"
#include "init_log.h"
#include "input_file.h"
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
    {nullptr, tierlock_host::kInitLogUsage, tierlock_host::RunInitLog},
};

const char kToolUsage[] =
    "usage: tierlock-host COMMAND [OPTION...] ARGUMENT...\n"
    "       tierlock-host --help\n"
    "       tierlock-host --version [--plugin LIBRARY]\n";

void PrintUsage(std::FILE* to) {
    std::fputs(kToolUsage, to);
    for (const Command& command : kCommands) {
        std::fputs("\n", to);
        std::fputs(command.usage, to);
    }
}

int Finish(const Command& command, int status) {
    if (status == tierlock_host::kHelpAsked) {
        std::fputs(command.usage, stdout);
        return 0;
    }
    if (status == tierlock_host::kUsageError) {
        std::fputs(command.usage, stderr);
        return 2;
    }
    return status;
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        return tierlock_host::RunVersion(argc - 2, argv + 2);
    }
    for (const Command& command : kCommands) {
        if (command.name && std::strcmp(argv[1], command.name) == 0) {
            return Finish(command, command.run(argc - 2, argv + 2));
        }
    }
    // No command word: the original invocation, which scripts/run-example.sh uses.
    const Command& initLog = kCommands[std::size(kCommands) - 1];
    return Finish(initLog, initLog.run(argc - 1, argv + 1));
}

}  // namespace

// The tool's one boundary: whatever escapes a command is said and ends the run with 2.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("tierlock-host: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tierlock-host: %s\n", e.what());
    } catch (...) {
        std::fputs("tierlock-host: unexpected failure\n", stderr);
    }
    return 2;
}
