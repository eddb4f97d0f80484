#include "init_log.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "abi/options.h"
#include "abi/rule_plug.h"
#include "simhost/framework.h"
#include "simhost/plugin_library.h"
#include "simhost/proc_tree.h"
#include "simhost/services.h"
#include "simhost/text.h"

namespace tierlock_host {

const char kInitLogUsage[] =
    "usage: tierlock-host [--plugin LIBRARY] [--config FILE]\n"
    "  Loads the plug-in, initialises it with FILE as its configuration (none when omitted),\n"
    "  switches it on, calls its idle hooks, shuts it down and prints every log line.\n";

namespace {

bool ReadFile(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void PrintLog(const simhost::Framework& framework) {
    for (const simhost::LogRecord& line : framework.lines()) {
        std::fputs(simhost::ToUtf8(line.text).c_str(), stdout);
    }
}

}  // namespace

int RunInitLog(int argc, char** argv) {
    std::filesystem::path pluginPath = simhost::DefaultPluginPath();
    std::string configPath;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
            configPath = argv[++i];
        } else {
            return -1;
        }
    }

    std::string config;
    if (!configPath.empty() && !ReadFile(configPath, &config)) {
        std::fprintf(stderr, "tierlock-host: cannot read %s\n", configPath.c_str());
        return 1;
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
