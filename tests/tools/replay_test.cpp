// tierlock-host replay against the shipped library: the bundled scenarios give the verdicts
// their names promise, the JSON report carries what the text report says, and scenarios that
// are malformed or name a missing process are refused with their location before anything runs.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "replay.h"
#include "simhost/plugin_library.h"

#if defined(__SANITIZE_ADDRESS__)
// Each replay loads a private copy of the library and unloads it afterwards. The objects a
// library makes once for the life of the process (its native function table, its process tree
// helper) are never freed by design and become unreachable when the copy goes, which the leak
// checker would report. The tool's own leaks are checked by running it on the examples.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
#endif

namespace {

namespace fs = std::filesystem;

fs::path Examples() {
    return simhost::DefaultPluginPath().parent_path() / "examples";
}

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome Replay(const fs::path& scenario, bool json, const fs::path& plugin = {}, bool log = false) {
    tierlock_host::ReplayOptions options;
    options.scenario = scenario.string();
    options.plugin = plugin.empty() ? simhost::DefaultPluginPath() : plugin;
    options.json = json;
    options.log = log;
    options.freshCopy = true;  // each replay starts the library's process-wide state afresh
    Outcome run;
    run.status = tierlock_host::Replay(options, &run.out, &run.err);
    return run;
}

std::string Str(const rapidjson::Value& value) {
    return value.IsString() ? std::string(value.GetString(), value.GetStringLength()) : "";
}

struct Example {
    const char* file;
    std::vector<int> verdicts;
};

const Example kExamples[] = {
    {"workstation.scenario.json", {1, 0, 2, 1, 0}},
    {"tree-host.scenario.json", {2, 1, 0}},
    {"trust-corrections.scenario.json", {0, 0, 1}},
};

TEST(Replay, ExamplesGiveTheirVerdictsWithEveryReferenceBalanced) {
    for (const Example& example : kExamples) {
        SCOPED_TRACE(example.file);
        const Outcome run = Replay(Examples() / example.file, true);
        ASSERT_EQ(run.status, tierlock_host::kReplayRan) << run.err;
        rapidjson::Document report;
        ASSERT_FALSE(report.Parse(run.out.c_str()).HasParseError());
        EXPECT_TRUE(report["initialised"].GetBool());
        EXPECT_TRUE(report["balanced"].GetBool());
        const auto& events = report["events"];
        ASSERT_EQ(events.Size(), example.verdicts.size());
        for (rapidjson::SizeType i = 0; i < events.Size(); ++i) {
            EXPECT_EQ(events[i]["verdict"].GetInt(), example.verdicts[i]) << Str(events[i]["name"]);
        }
    }
}

// With --log each event carries the plug-in's own lines, in both forms, under that event.
TEST(Replay, LogLinesFollowTheirEvent) {
    const fs::path scenario = Examples() / "workstation.scenario.json";
    const Outcome json = Replay(scenario, true, {}, true);
    const std::string text = Replay(scenario, false, {}, true).out;
    rapidjson::Document report;
    ASSERT_FALSE(report.Parse(json.out.c_str()).HasParseError());
    auto logged = [&](rapidjson::SizeType event, const std::string& part) {
        for (const auto& line : report["events"][event]["log"].GetArray()) {
            if (Str(line).find(part) != std::string::npos) {
                return Str(line);
            }
        }
        return std::string("(absent) ") + part;
    };
    EXPECT_EQ(logged(4, "start popwnd"), "(absent) start popwnd");
    // In the text, each line sits between its event's heading and the next one.
    const size_t second = text.find("event 2: ");
    for (const char* part : {"Fixed PPID : 3120  PPID : 600", "result=true,start popwnd"}) {
        const size_t at = text.find(logged(0, part));
        EXPECT_GT(at, text.find("event 1: ")) << part;
        EXPECT_LT(at, second) << part;
    }
    const size_t uncovered = text.find(logged(4, "This event does not require processing"));
    EXPECT_NE(uncovered, std::string::npos);
    EXPECT_GT(uncovered, text.find("event 5: "));
}

// The replay of each bundled scenario, text and JSON, is byte for byte the one recorded in
// examples/expected (less the lines naming this machine's paths): a changed verdict, decoded
// field, host call count or layout shows here. After an intended change, the failure names the
// file with the new output to copy over the recorded one. Recorded from the 64-bit builds: the
// PE32 build is compared on what the other replay tests check.
std::string WithoutPaths(const std::string& out) {
    static const std::regex paths(
        R"re(^(scenario|configuration|plug-in| *"(scenario|configuration|plugin|pluginWidth|pluginWindowsDirectory)"): .*\n)re",
        std::regex::multiline);
    return std::regex_replace(out, paths, "");
}

TEST(Replay, BundledScenariosReplayAsRecorded) {
    if (sizeof(void*) != 8) {
        GTEST_SKIP() << "recorded from the 64-bit builds";
    }
    for (const Example& example : kExamples) {
        for (const bool json : {false, true}) {
            const std::string stem = fs::path(example.file).stem().stem().string();
            const fs::path recorded = Examples() / "expected" / (stem + (json ? ".json" : ".txt"));
            const std::string actual = WithoutPaths(Replay(Examples() / example.file, json).out);
            std::ifstream in(recorded, std::ios::binary);
            const std::string expected{std::istreambuf_iterator<char>(in), {}};
            if (actual != expected) {
                fs::path update = recorded;
                std::ofstream(update += ".actual", std::ios::binary) << actual;
                ADD_FAILURE() << recorded << " differs from this replay, written to " << update;
            }
        }
    }
}

// A well-formed scenario to break in one place at a time.
std::string ScenarioWith(const std::string& processes, const std::string& event) {
    return R"({"configuration": "missing-config.json", "host": "cache",
  "processes": [)" +
           processes + R"(],
  "events": [)" +
           event + "]}";
}

const std::string kProcesses =
    R"({"pid": 10, "path": "C:\\a.exe"}, {"pid": 20, "parent": 10, "path": "C:\\b.exe"})";
const std::string kEvent = R"({"class": "file", "ruleId": 101, "process": 20})";

TEST(RefusedScenario, IsRefusedWithItsLocationAndNothingRuns) {
    struct Case {
        std::string text;
        std::string where;
    };
    const Case cases[] = {
        // A syntax error: the comma missing after line 2's member.
        {"{\n  \"host\": \"cache\"\n  \"events\": []\n}", ": 3:3 /host: Missing a comma"},
        {ScenarioWith(kProcesses, R"({"class": "network", "ruleId": 1, "process": 20})"),
         ": 3:24 /events/0/class: does not satisfy the schema"},
        {ScenarioWith(kProcesses, R"({"class": "file", "ruleId": 1, "process": 20, "x": 1})"),
         ": 3:65 /events/0/x: does not satisfy the schema's \"additionalProperties\""},
        {ScenarioWith(kProcesses,
                      R"({"class": "file", "ruleId": 1, "process": 20, "answer": 4294967296})"),
         " /events/0/answer: does not satisfy the schema"},
        {ScenarioWith(kProcesses, R"({"class": "file", "ruleId": 1, "process": 99})"),
         ": 3:56 /events/0/process: no process with pid 99"},
        {ScenarioWith(kProcesses, R"({"class": "process", "operation": 1, "ruleId": 301,
                                      "process": 20, "targetProcess": 77})"),
         " /events/0/targetProcess: no process with pid 77"},
        {ScenarioWith(kProcesses, R"({"class": "file", "ruleId": 1, "process": 20,
                                      "items": [{"type": "source", "process": 5}]})"),
         " /events/0/items/0/process: no process with pid 5"},
        {ScenarioWith(R"({"pid": 10, "parent": 30, "path": "C:\\a.exe"})", kEvent),
         ": 2:39 /processes/0/parent: no process with pid 30"},
        {ScenarioWith(R"({"pid": 10, "parent": 20, "path": "C:\\a.exe"},
                       {"pid": 20, "parent": 10, "path": "C:\\b.exe"})",
                      kEvent),
         "/parent: pid "},
        {ScenarioWith(kProcesses + R"(, {"pid": 10, "path": "C:\\c.exe"})", kEvent),
         " /processes/2/pid: pid 10 is listed twice"},
        {ScenarioWith(kProcesses, kEvent), ": /configuration: "},
    };
    // A name of this run's own, as other builds may run this test at the same time.
    const fs::path scenario =
        fs::temp_directory_path() /
        ("tierlock-replay-refused-" + std::to_string(std::random_device{}()) + ".scenario.json");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::ofstream(scenario, std::ios::binary) << c.text;
        // A plug-in that cannot be loaded: any attempt to run would fail differently.
        const Outcome run = Replay(scenario, false, "no-such-library");
        fs::remove(scenario);
        EXPECT_EQ(run.status, tierlock_host::kReplayRefused);
        EXPECT_NE(run.err.find(c.where), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("nothing was run"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

}  // namespace
