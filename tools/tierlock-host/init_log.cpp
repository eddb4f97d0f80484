#include "init_log.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "abi/options.h"
#include "abi/rule_plug.h"
#include "input_file.h"
#include "simhost/framework.h"
#include "simhost/plugin_library.h"
#include "simhost/proc_tree.h"
#include "simhost/services.h"
#include "simhost/text.h"

namespace tierlock_host {

const char kInitLogUsage[] =
    "usage: tierlock-host [--plugin LIBRARY] [--max-size BYTES] --config FILE\n"
    "  Loads the plug-in, initialises it with FILE (\"-\": standard input) as its\n"
    "  configuration, switches it on, calls its idle hooks, shuts it down and prints every\n"
    "  log line. Exit status: 0 initialised, 1 not, 2 bad arguments.\n";

namespace {

void PrintLog(const simhost::Framework& framework) {
    for (const simhost::LogRecord& line : framework.lines()) {
        std::fputs(simhost::ToUtf8(line.text).c_str(), stdout);
    }
}

}  // namespace

int RunInitLog(int argc, char** argv) {
    std::filesystem::path pluginPath = simhost::DefaultPluginPath();
    std::string configPath;
    uint64_t maxSize = kDefaultMaxInputSize;
    for (int i = 0; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return kHelpAsked;
        } else if (std::strcmp(argv[i], "--plugin") == 0 && valued) {
            pluginPath = PluginPathArgument(argv[++i]);
        } else if (std::strcmp(argv[i], "--config") == 0 && valued) {
            configPath = argv[++i];
        } else if (std::strcmp(argv[i], "--max-size") == 0 && valued) {
            const std::optional<uint64_t> size = ParseSize(argv[++i]);
            if (!size) {
                return ArgumentError("--max-size takes a byte count, such as 64M");
            }
            maxSize = *size;
        } else if (IsOption(argv[i])) {
            return OptionError(argv[i], {"--plugin", "--config", "--max-size"});
        } else {
            return ArgumentError(std::string("unexpected argument ") + argv[i]);
        }
    }
    if (configPath.empty()) {
        return ArgumentError("--config FILE is missing");
    }

    std::string config, reason;
    if (!ReadInput(configPath, maxSize, &config, &reason)) {
        std::fprintf(stderr, "tierlock-host: %s: %s\n", configPath.c_str(), reason.c_str());
        return 2;
    }

    std::string error;
    auto library = simhost::PluginLibrary::Load(pluginPath, false, &error);
    if (!library) {
        std::fprintf(stderr, "tierlock-host: cannot load %s: %s\n", pluginPath.string().c_str(),
                     error.c_str());
        return 1;
    }

    IRkRulePlug* plug = nullptr;
    if (!library->Create(&IID_IRkRulePlug, &plug) || !plug) {
        std::fputs("tierlock-host: CreatePlugObjectV2 refused the plug-in interface id\n", stderr);
        return 1;
    }

    simhost::Framework framework;
    simhost::CacheService cache;
    simhost::CloudEngine cloud;
    simhost::TrustQueryV2 trustQuery;
    framework.Serve(IID_IRKCACHE, &cache);
    framework.Serve(IID_IRKEngCloudV2, &cloud);
    framework.Serve(IID_IRKMisKillingQuery_V2, &trustQuery);
    simhost::ProcessTree tree;
    framework.Serve(IID_IRKProcTreeV3Ctrl, tree.ctrl());
    framework.Serve(IID_IRKProcessTreeHelperCtrl, tree.helper());
    const bool initialised =
        plug->Init(&framework, config.data(), static_cast<int32_t>(config.size()));
    plug->SetEnable(tierlock::RKOPT_TIERLOCK_ENABLE, true);
    plug->FirstProcessEvent(nullptr, nullptr);
    plug->PreProcessEvent(nullptr, nullptr);
    plug->PostProcessEvent(nullptr, nullptr);
    plug->AfterProcessEvent(nullptr, nullptr, nullptr);
    plug->UnInit();
    library->Release(plug);

    PrintLog(framework);
    // Init succeeds even when the configuration does not parse; the caller must still hear it.
    const std::u16string parseFailed = simhost::LogLine(35, "Tierlock::Init", u"ParseOption Fail");
    for (const std::u16string& line : framework.texts()) {
        if (line == parseFailed) {
            return 1;
        }
    }
    return initialised ? 0 : 1;
}

}  // namespace tierlock_host
