// tierlock-host replay against the shipped library: the bundled scenarios give the verdicts
// their names promise, the JSON report carries what the text report says, and scenarios that
// are malformed or name a missing process are refused with their location before anything runs.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>
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

// The verdict an event's name promises, so that a renamed or reordered example is caught too.
int PromisedVerdict(const std::string& name) {
    if (name.find("(blocked)") != std::string::npos) {
        return 1;
    }
    if (name.find("allowed)") != std::string::npos) {
        return 2;
    }
    return name.find("no decision)") != std::string::npos ||
                   name.find("no pop-up)") != std::string::npos
               ? 0
               : -1;
}

TEST(Replay, ExamplesGiveTheVerdictsTheirNamesPromiseWithEveryReferenceBalanced) {
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
            const std::string name = Str(events[i]["name"]);
            EXPECT_EQ(events[i]["verdict"].GetInt(), example.verdicts[i]) << name;
            EXPECT_EQ(PromisedVerdict(name), example.verdicts[i]) << name;
            // A verdict other than 0 comes only from a pop-up, and a pop-up only with a request.
            EXPECT_EQ(events[i]["popup"].GetBool(), example.verdicts[i] != 0) << name;
            EXPECT_EQ(events[i]["request"].IsObject(), example.verdicts[i] != 0) << name;
        }
    }
}

TEST(Replay, RequestIsDecodedFromTheBundleTheHostReceives) {
    const Outcome run = Replay(Examples() / "workstation.scenario.json", true);
    rapidjson::Document report;
    ASSERT_FALSE(report.Parse(run.out.c_str()).HasParseError());
    const auto& events = report["events"];

    // The dropper: the record claimed winlogon as parent; the cache corrects it to explorer.
    const auto& dropper = events[0]["request"];
    EXPECT_EQ(dropper["processId"].GetUint(), 4410u);
    EXPECT_EQ(dropper["processCreatetime"].GetUint64(), 1733470001000ull);
    EXPECT_EQ(dropper["ruleInfo"]["engType"].GetUint(), 2u);
    EXPECT_EQ(dropper["ruleInfo"]["groupId"].GetUint(), 3u);
    EXPECT_EQ(dropper["ruleInfo"]["ruleId"].GetUint(), 101u);
    EXPECT_TRUE(dropper["ruleInfo"]["reservedZero"].GetBool());
    EXPECT_EQ(Str(dropper["popWin"]),
              "An untrusted program started from the desktop is writing into a startup location.");
    ASSERT_EQ(dropper["targetList"].Size(), 1u);
    const auto& danger = dropper["targetList"][0];
    EXPECT_EQ(Str(danger["targetTypeName"]), "danger process");
    EXPECT_EQ(danger["processId"].GetUint(), 4410u);
    EXPECT_EQ(danger["parentProcessId"].GetUint(), 3120u);
    EXPECT_EQ(Str(danger["riskName"]), "Trojan.Dropper.VBS");
    EXPECT_EQ(danger["engineId"].GetUint(), 12u);
    // The file cache's digest texts, turned into bytes by the simulated base component.
    EXPECT_EQ(Str(danger["md5"]), "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(Str(danger["sha1"]), "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12");
    EXPECT_TRUE(dropper["problems"].Empty());

    // The registry event: the registry target first, then the danger entry.
    const auto& registry = events[3]["request"]["targetList"];
    ASSERT_EQ(registry.Size(), 2u);
    EXPECT_EQ(Str(registry[0]["body"]), "registry");
    EXPECT_EQ(Str(registry[0]["keyPath"]),
              "\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(Str(registry[0]["valueName"]), "Updater");
    EXPECT_EQ(Str(registry[0]["secondValueText"]), "C:\\ProgramData\\updater\\upd.exe --silent");
    EXPECT_EQ(Str(registry[1]["handlingName"]), "danger process");
    // A file the cache does not know keeps zero digests.
    EXPECT_EQ(Str(registry[1]["md5"]), std::string(32, '0'));
    EXPECT_EQ(Str(registry[1]["sha1"]), std::string(40, '0'));
}

TEST(Replay, TreeHostAsksTheCloudOnceAndFindsTheLevelWrittenBack) {
    const Outcome run = Replay(Examples() / "tree-host.scenario.json", true);
    rapidjson::Document report;
    ASSERT_FALSE(report.Parse(run.out.c_str()).HasParseError());
    const auto& events = report["events"];
    EXPECT_EQ(events[0]["cloudQueries"].GetUint(), 1u);
    EXPECT_EQ(events[1]["cloudQueries"].GetUint(), 0u);
    for (int i = 0; i < 2; ++i) {
        const auto& chain = events[i]["request"]["processChain"];
        ASSERT_EQ(chain.Size(), 4u);
        EXPECT_EQ(Str(chain[2]["path"]), "C:\\Users\\bob\\Downloads\\codec_pack_setup.exe");
        EXPECT_EQ(chain[2]["level"].GetInt(), 70);
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

// Every fact the JSON report gives about an event appears in the text report as well.
TEST(Replay, TextAndJsonCarryTheSameFacts) {
    for (const Example& example : kExamples) {
        SCOPED_TRACE(example.file);
        const Outcome text = Replay(Examples() / example.file, false);
        const Outcome json = Replay(Examples() / example.file, true);
        ASSERT_EQ(text.status, json.status);
        rapidjson::Document report;
        ASSERT_FALSE(report.Parse(json.out.c_str()).HasParseError());
        const auto& events = report["events"];
        size_t at = 0;
        for (rapidjson::SizeType i = 0; i < events.Size(); ++i) {
            const auto& event = events[i];
            auto expect = [&](const std::string& fact) {
                const size_t found = text.out.find(fact, at);
                EXPECT_NE(found, std::string::npos) << "missing in order: " << fact;
                if (found != std::string::npos) {
                    at = found;
                }
            };
            expect("event " + std::to_string(i + 1) + ": " + Str(event["name"]));
            expect("verdict: " + std::to_string(event["verdict"].GetInt()) + " (" +
                   Str(event["verdictName"]) + ")");
            expect("host queries: cloud " + std::to_string(event["cloudQueries"].GetUint()) +
                   ", trust " + std::to_string(event["trustQueries"].GetUint()));
            const auto& request = event["request"];
            if (!request.IsObject()) {
                continue;
            }
            expect("acting process: pid " + std::to_string(request["processId"].GetUint()) +
                   ", created " + std::to_string(request["processCreatetime"].GetUint64()));
            expect("host rule " + std::to_string(request["ruleInfo"]["ruleId"].GetUint()));
            expect("pop-up text: \"" + Str(request["popWin"]) + "\"");
            for (const auto& entry : request["targetList"].GetArray()) {
                expect(Str(entry["targetTypeName"]) + " (");
                expect("handling " + std::to_string(entry["handlingType"].GetUint()));
                expect("risk name \"" + Str(entry["riskName"]) + "\"");
                if (Str(entry["body"]) == "process") {
                    expect("pid " + std::to_string(entry["processId"].GetUint()) + ", parent " +
                           std::to_string(entry["parentProcessId"].GetUint()));
                    expect("image path: " + Str(entry["imagePath"]));
                } else if (Str(entry["body"]) == "file") {
                    expect("file path: " + Str(entry["filePath"]));
                } else if (Str(entry["body"]) == "registry") {
                    expect("key path: " + Str(entry["keyPath"]));
                }
            }
            for (const auto& process : request["processChain"].GetArray()) {
                expect(Str(process["path"]) + " (level " +
                       std::to_string(process["level"].GetInt()) + ")");
            }
        }
        EXPECT_NE(text.out.find(report["balanced"].GetBool() ? "references: balanced"
                                                             : "references: NOT balanced"),
                  std::string::npos);
    }
}

class RefusedScenario : public ::testing::Test {
  protected:
    void TearDown() override {
        std::error_code ec;
        fs::remove(path_, ec);
    }
    fs::path Write(const std::string& text) {
        path_ = fs::temp_directory_path() /
                ("tierlock-replay-" + std::to_string(counter_++) + ".scenario.json");
        std::ofstream(path_, std::ios::binary) << text;
        return path_;
    }
    fs::path path_;
    static inline int counter_ = 0;
};

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

TEST_F(RefusedScenario, IsRefusedWithItsLocationAndNothingRuns) {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        // A plug-in that cannot be loaded: any attempt to run would fail differently.
        const Outcome run = Replay(Write(c.text), false, "no-such-library");
        EXPECT_EQ(run.status, tierlock_host::kReplayRefused);
        EXPECT_NE(run.err.find(c.where), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("nothing was run"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

}  // namespace
