#include "replay.h"

#include <cstdio>
#include <cstring>

#include "abi/options.h"
#include "abi/rule_plug.h"
#include "json_locations.h"
#include "replay_load.h"
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
    "usage: tierlock-host replay [--log] [--json] [--explain] [--plugin LIBRARY]\n"
    "                            [--max-size BYTES] [--repeat N] [--] SCENARIO\n"
    "  Loads the plug-in (by default the library beside this tool), builds the simulated host\n"
    "  that SCENARIO (\"-\": standard input) describes, initialises the plug-in with the\n"
    "  scenario's configuration, says what it made of it, switches it on and replays every\n"
    "  event through LastProcessEvent. Prints each verdict as it comes, the reason for a\n"
    "  verdict of 0 and, for a pop-up, the decoded request: acting process, rule, pop-up\n"
    "  text, target list and process chain. Ends with whether every host reference and tree\n"
    "  root came back. The scenario format is examples/scenario.schema.json.\n"
    "  --log       adds the plug-in's log lines under each event\n"
    "  --json      prints one JSON document instead of text\n"
    "  --explain   prints every comparison of every candidate rule and match mode\n"
    "  --plugin    loads the plug-in library at the path LIBRARY instead\n"
    "  --max-size  reads no file larger than BYTES (default 64M; k, M and G suffixes)\n"
    "  --repeat    a load run: replays the events N times over without a line per event and\n"
    "              prints the process's memory at the start, after the first 10000 events\n"
    "              and at the end, and the events per second\n"
    "  exit status: 0 replayed, references balanced; 1 the plug-in could not be loaded or left\n"
    "  references or tree roots behind; 2 bad arguments, or the scenario or its\n"
    "  configuration is unreadable or refused (its location is printed and nothing is run)\n";

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

// A configuration the plug-in cannot parse leaves it without rules; say where, and run
// nothing.
std::optional<std::string> Unparsable(std::string_view bytes) {
    const TextMap map(bytes);
    const std::string_view text = map.json().substr(0, map.json().find('\0'));
    if (const std::optional<size_t> deep = NestingBeyond(text, 128)) {
        return PositionText(map.PositionOf(*deep)) + ": nested more than 128 levels deep";
    }
    if (const std::optional<SyntaxError> error = FindSyntaxError(text)) {
        return PositionText(map.PositionOf(error->offset)) + " " +
               (error->pointer.empty() ? "(the document)" : error->pointer) + ": " + error->message;
    }
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || text[first] != '{') {
        return "1:1: the document is not a JSON object";
    }
    return std::nullopt;
}

// Drives the plug-in through one scenario. The host outlives the plug-in object, and each
// event's request is read, written out and dropped before the next event.
int RunScenario(const ReplayOptions& options, ReplayReport* report, ReplayWriter& writer,
                const ReplaySink& out, std::string* err) {
    std::string configuration, reason;
    const std::string configurationPath = PathText(report->scenario.configurationFile);
    if (!ReadInput(configurationPath, options.maxSize, &configuration, &reason)) {
        *err += "tierlock-host: /configuration: " + configurationPath + ": " + reason + "\n" +
                "tierlock-host: the configuration cannot be read; nothing was run\n";
        return kReplayRefused;
    }
    if (const std::optional<std::string> problem = Unparsable(configuration)) {
        *err += "tierlock-host: " + configurationPath + ": " + *problem + "\n" +
                "tierlock-host: the configuration does not parse; nothing was run\n";
        return kReplayRefused;
    }
    std::string error;
    // The file cache's digests reach the pop-up only through the host's base component, which
    // must be loaded before the plug-in first looks for it; without digests it stays away, as
    // the hosts the other scenarios describe have none.
    std::unique_ptr<simhost::BaseComponentModules> components;
    if (!report->scenario.files.empty()) {
        components = simhost::BaseComponentModules::Load(&error);
        if (!components) {
            *err += "tierlock-host: cannot load the simulated base component (" + error +
                    "); the digests stay zero\n";
        }
    }
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
    report->configurationNotes = JudgeConfiguration(report->initLog);
    if (options.repeat > 0) {
        std::vector<std::string> imbalances =
            ReplayRepeated(*plug, host, report->scenario, options.repeat, components.get(), out);
        plug->UnInit();
        library->Release(plug);
        const std::vector<std::string> hostImbalances = host.Imbalances();
        imbalances.insert(imbalances.begin(), hostImbalances.begin(), hostImbalances.end());
        if (imbalances.empty()) {
            out("references: balanced (every host reference and tree root came back)\n");
        }
        for (const std::string& line : imbalances) {
            out("references: unbalanced: " + line + "\n");
        }
        return imbalances.empty() ? kReplayRan : kReplayFaulted;
    }
    writer.Begin(*report);

    size_t index = 0;
    std::vector<std::string> eventImbalances;
    for (const ScenarioEvent& event : report->scenario.events) {
        EventOutcome outcome;
        outcome.event = &event;
        auto objects = host.MakeEvent(event);
        framework.SetPopWndAnswer(true, event.answer);
        const size_t popupsBefore = framework.popupCount();
        const size_t cloudBefore = host.cloudQueries(), trustBefore = host.trustQueries();
        outcome.verdict = plug->LastProcessEvent(&objects->event, &objects->engine);
        outcome.popup = framework.popupCount() > popupsBefore;
        outcome.cloudQueries = host.cloudQueries() - cloudBefore;
        outcome.trustQueries = host.trustQueries() - trustBefore;
        for (const auto& attached : objects->event.attached()) {
            if (attached.kind == kRequestBundleKind && attached.bundle) {
                outcome.request = DecodeRequest(attached.bundle);
            }
        }
        outcome.log = TakeLog(framework);
        outcome.imbalances = ScenarioHost::Imbalances(*objects);
        outcome.explanation = Explain(outcome.log, report->scenario, event, outcome.verdict);
        for (const std::string& line : outcome.imbalances) {
            eventImbalances.push_back(event.name + ": " + line);
        }
        writer.Event(index++, outcome);
    }

    plug->UnInit();
    library->Release(plug);
    report->imbalances = host.Imbalances();
    report->imbalances.insert(report->imbalances.end(), eventImbalances.begin(),
                              eventImbalances.end());
    writer.End(*report);
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

int Replay(const ReplayOptions& options, const ReplaySink& out, std::string* err) {
    ReplayReport report;
    ScenarioError error;
    if (!LoadScenario(options.scenario, options.maxSize, &report.scenario, &error)) {
        *err += "tierlock-host: " + options.scenario +
                (error.location.empty() ? "" : ": " + error.location) + ": " + error.message +
                "\n" + "tierlock-host: the scenario is refused; nothing was run\n";
        return kReplayRefused;
    }
    report.plugin = options.plugin.empty() ? simhost::DefaultPluginPath() : options.plugin;
    ReadSystem(&report.systemWidth, &report.systemWindowsDirectory);
    const std::unique_ptr<ReplayWriter> writer =
        MakeReplayWriter(options.json, options.log, options.explain, out);
    return RunScenario(options, &report, *writer, out, err);
}

int Replay(const ReplayOptions& options, std::string* out, std::string* err) {
    return Replay(
        options, [out](std::string_view piece) { out->append(piece); }, err);
}

int RunReplay(int argc, char** argv) {
    ReplayOptions options;
    bool haveScenario = false, operandsOnly = false;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool valued = i + 1 < argc;
        if (operandsOnly || !IsOption(argv[i])) {
            if (haveScenario) {
                return ArgumentError("replay takes one SCENARIO; " + argument + " is another");
            }
            options.scenario = argument;
            haveScenario = true;
        } else if (argument == "--") {
            operandsOnly = true;
        } else if (argument == "--help" || argument == "-h") {
            return kHelpAsked;
        } else if (argument == "--log") {
            options.log = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--explain") {
            options.explain = true;
        } else if (argument == "--plugin" && valued) {
            options.plugin = PluginPathArgument(argv[++i]);
        } else if (argument == "--max-size" && valued) {
            const std::optional<uint64_t> size = ParseSize(argv[++i]);
            if (!size) {
                return ArgumentError("--max-size takes a byte count, such as 64M");
            }
            options.maxSize = *size;
        } else if (argument == "--repeat" && valued) {
            const std::optional<uint64_t> count = ParseSize(argv[++i]);
            if (!count || *count == 0) {
                return ArgumentError("--repeat takes a count of at least 1, such as 200000");
            }
            options.repeat = *count;
        } else {
            return OptionError(argv[i], {"--plugin", "--max-size", "--repeat"});
        }
    }
    if (!haveScenario) {
        return ArgumentError("replay needs a SCENARIO");
    }
    if (options.repeat > 0 && (options.json || options.log || options.explain)) {
        return ArgumentError("--repeat prints no events: it takes no --json, --log or --explain");
    }
    std::string err;
    const int status = Replay(
        options,
        [](std::string_view piece) {
            std::fwrite(piece.data(), 1, piece.size(), stdout);
            std::fflush(stdout);
        },
        &err);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}

}  // namespace tierlock_host
