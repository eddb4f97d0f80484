#include "replay.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "abi/options.h"
#include "abi/rule_plug.h"
#include "scenario_host.h"
#include "simhost/plugin_library.h"
#include "simhost/text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tierlock_host {
namespace {

constexpr int32_t kRequestBundleKind = 2;

}  // namespace

const char kReplayUsage[] =
    "usage: tierlock-host replay SCENARIO [--log] [--json] [--plugin LIBRARY]\n"
    "  Loads the plug-in (by default the library beside this tool), builds the simulated host\n"
    "  that SCENARIO describes, initialises the plug-in with the scenario's configuration,\n"
    "  switches it on and replays every event through LastProcessEvent. Prints each verdict\n"
    "  and, for a pop-up, the decoded request: acting process, rule, pop-up text, target list\n"
    "  and process chain. Ends with whether every host reference and tree root came back.\n"
    "  The scenario format is examples/scenario.schema.json.\n"
    "  --log     adds the plug-in's log lines under each event\n"
    "  --json    prints one JSON document instead of text\n"
    "  --plugin  loads LIBRARY instead\n"
    "  exit status: 0 replayed, references balanced; 1 the plug-in could not be loaded or left\n"
    "  references or tree roots behind; 2 bad arguments, or the scenario is unreadable or\n"
    "  refused (its location is printed and nothing is run)\n";

namespace {

// What the plug-in finds when it asks the system: the system's answers under Windows, the
// substitute's defaults elsewhere.
void ReadSystem(int32_t* width, std::u16string* windowsDirectory) {
#if defined(_WIN32)
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    const bool wide = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                      info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ||
                      info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
    *width = wide ? 64 : 32;
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    windowsDirectory->assign(reinterpret_cast<const char16_t*>(buffer), length);
#else
    *width = sizeof(void*) == 8 ? 64 : 32;
    *windowsDirectory = u"C:\\Windows";
#endif
}

std::vector<std::string> TakeLog(simhost::Framework& framework) {
    std::vector<std::string> lines;
    for (const simhost::LogRecord& record : framework.lines()) {
        std::string line = simhost::ToUtf8(record.text);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        lines.push_back(std::move(line));
    }
    framework.ClearLog();
    return lines;
}

bool ReadText(const std::filesystem::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Drives the plug-in through one scenario. The host outlives the plug-in object, and the
// events' requests are read and dropped before the library goes.
int RunScenario(const ReplayOptions& options, ReplayReport* report, std::string* err) {
    std::string configuration;
    if (!ReadText(report->scenario.configurationFile, &configuration)) {
        *err += "tierlock-host: /configuration: cannot read " +
                PathText(report->scenario.configurationFile) + "\n";
        return kReplayRefused;
    }
    std::string error;
    auto library = simhost::PluginLibrary::Load(report->plugin, options.freshCopy, &error);
    if (!library) {
        *err += "tierlock-host: cannot load " + PathText(report->plugin) + ": " + error + "\n";
        return kReplayFaulted;
    }
    IRkRulePlug* plug = nullptr;
    if (!library->Create(&IID_IRkRulePlug, &plug) || !plug) {
        *err += "tierlock-host: CreatePlugObjectV2 refused the plug-in interface id\n";
        return kReplayFaulted;
    }

    ScenarioHost host(report->scenario);
    report->ran = true;
    simhost::Framework& framework = host.framework();
    report->initialised =
        plug->Init(&framework, configuration.data(), static_cast<int32_t>(configuration.size()));
    plug->SetEnable(tierlock::RKOPT_TIERLOCK_ENABLE, true);
    report->initLog = TakeLog(framework);

    for (const ScenarioEvent& event : report->scenario.events) {
        EventOutcome outcome;
        outcome.event = &event;
        auto objects = host.MakeEvent(event);
        framework.SetPopWndAnswer(true, event.answer);
        const size_t popupsBefore = framework.popups().size();
        const size_t cloudBefore = host.cloudQueries(), trustBefore = host.trustQueries();
        outcome.verdict = plug->LastProcessEvent(&objects->event, &objects->engine);
        outcome.popup = framework.popups().size() > popupsBefore;
        outcome.cloudQueries = host.cloudQueries() - cloudBefore;
        outcome.trustQueries = host.trustQueries() - trustBefore;
        for (const auto& attached : objects->event.attached()) {
            if (attached.kind == kRequestBundleKind && attached.bundle) {
                outcome.request = DecodeRequest(attached.bundle);
            }
        }
        outcome.log = TakeLog(framework);
        outcome.imbalances = ScenarioHost::Imbalances(*objects);
        report->events.push_back(std::move(outcome));
    }

    plug->UnInit();
    library->Release(plug);
    report->imbalances = host.Imbalances();
    for (const EventOutcome& outcome : report->events) {
        for (const std::string& line : outcome.imbalances) {
            report->imbalances.push_back(outcome.event->name + ": " + line);
        }
    }
    return report->imbalances.empty() ? kReplayRan : kReplayFaulted;
}

}  // namespace

std::string VerdictName(int32_t verdict) {
    switch (verdict) {
        case 0:
            return "no decision";
        case 1:
            return "block";
        case 2:
            return "shown, not blocked";
        default:
            return "unknown";
    }
}

int Replay(const ReplayOptions& options, std::string* out, std::string* err) {
    ReplayReport report;
    ScenarioError error;
    if (!LoadScenario(options.scenario, &report.scenario, &error)) {
        *err += "tierlock-host: " + PathText(options.scenario) + ": " + error.location + ": " +
                error.message + "\n" + "tierlock-host: the scenario is refused; nothing was run\n";
        return kReplayRefused;
    }
    report.plugin = options.plugin.empty() ? simhost::DefaultPluginPath() : options.plugin;
    ReadSystem(&report.systemWidth, &report.systemWindowsDirectory);
    const int status = RunScenario(options, &report, err);
    if (!report.ran) {
        return status;
    }
    *out += options.json ? ReplayJson(report, options.log) : ReplayText(report, options.log);
    return status;
}

int RunReplay(int argc, char** argv) {
    ReplayOptions options;
    bool haveScenario = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0) {
            options.log = true;
        } else if (std::strcmp(argv[i], "--json") == 0) {
            options.json = true;
        } else if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
            options.plugin = argv[++i];
        } else if (argv[i][0] != '-' && !haveScenario) {
            options.scenario = argv[i];
            haveScenario = true;
        } else {
            return -1;
        }
    }
    if (!haveScenario) {
        return -1;
    }
    std::string out, err;
    const int status = Replay(options, &out, &err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}

}  // namespace tierlock_host
