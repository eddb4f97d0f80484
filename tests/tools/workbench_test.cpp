// The tool as a rule author meets it: inputs it must refuse without crashing, the conventions
// of its command line, the warnings check gives for what the plug-in silently misreads, and the
// reason replay gives for every verdict of 0.
#include <filesystem>
#include <string>

#include "tool_process.h"

namespace tools_test {
namespace {

using Workbench = InFolderOfItsOwn;

bool Contains(const ToolRun& run, const std::string& part) {
    return run.out.find(part) != std::string::npos;
}

const char kConfiguration[] = R"({"enable": 1,
 "matchmode": [
  {"modeid": 1, "mode": [{"id": 1, "srclvl": "10,20", "popwnd": "source"}]},
  {"modeid": 2, "mode": [{"id": 1, "chainlvl": "70", "popwnd": "chain"}]},
  {"modeid": 3, "mode": [{"id": 1, "srclvl": "50", "popwnd": "report"}]}
 ],
 "rules": [
  {"id": 1, "eventtype": 1, "ruleid": "101", "modeid": 1},
  {"id": 2, "eventtype": 1, "ruleid": "102", "modeid": 2},
  {"id": 3, "eventtype": 1, "reporttype": 8, "ruleid": "103", "modeid": 3},
  {"id": 4, "eventtype": 1, "reporttype": 65535, "ruleid": "104", "modeid": 3}
 ]}
)";

std::string Scenario(const std::string& configuration, const std::string& events) {
    return R"({"configuration": ")" + configuration + R"(", "host": "cache",
 "processes": [{"pid": 8, "path": "C:\\a.exe", "level": "30.0"},
               {"pid": 9, "parent": 8, "path": "C:\\b.exe", "level": "70.0"}],
 "events": [)" +
           events + "]}";
}

// Inputs it cannot use are refused with the system's reason and exit 2; the command line
// follows the usual conventions.
TEST_F(Workbench, RefusesInputsItCannotUseAndFollowsTheUsualConventions) {
    std::filesystem::create_directories("folder");
    WriteText("empty.json", "");
    WriteText("clean.json", R"({"matchmode": [], "rules": []})");
    const struct {
        std::string arguments;
        int status;
        std::string said;
    } cases[] = {
        {"check folder", 2, "is a directory"},
        {"replay folder", 2, "is a directory"},
        {"check no-such.json", 2, "No such file"},
        {"replay no-such.json", 2, "No such file"},
        {"check --max-size 10 empty.json folder", 2, "is a directory"},
        {"--config folder", 2, "is a directory"},
#if !defined(_WIN32)
        {"check /dev/zero", 2, "not a regular file"},
        {"replay /dev/zero", 2, "not a regular file"},
        {"check - < /dev/zero", 2, "larger than the limit of 67108864 bytes"},
        {"replay --max-size 1M - < /dev/zero", 2, "larger than the limit of 1048576 bytes"},
#endif
        {"", 2, "usage: tierlock-host COMMAND"},
        {"--bogus", 2, "tierlock-host: unknown option --bogus\n"},
        {"check --bogus clean.json", 2, "tierlock-host: unknown option --bogus\n"},
        {"replay --explain --plugin", 2, "option --plugin needs a value"},
        {"check --max-size lots clean.json", 2, "--max-size takes a byte count"},
        {"check", 2, "check needs at least one FILE"},
        {"check -- clean.json", 0, "clean.json: clean"},
        {"check - < clean.json", 0, "-: clean"},
        {"check --plugin libtierlock.so clean.json", 2, "libtierlock.so: "},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(c.arguments, true);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_TRUE(Contains(run, c.said)) << c.arguments << "\n" << run.out;
    }
    // Help is an answer, not an error: on standard output, exit 0.
    for (const char* help : {"--help", "check --help", "replay -h"}) {
        const ToolRun run = RunTool(help);
        EXPECT_EQ(run.status, 0) << help;
        EXPECT_TRUE(Contains(run, "usage: tierlock-host")) << help;
    }
}

// Each case: a configuration the plug-in loads without rejecting anything, and the warning
// check gives for what it silently reads otherwise; with and without a byte-order mark.
TEST_F(Workbench, CheckWarnsAboutWhatThePluginSilentlyMisreads) {
    const std::string item = R"({"id": 1, "srclvl": "70", "popwnd": "x"})";
    auto document = [&](const std::string& itemText, const std::string& rule) {
        return "{\"enable\": 1,\n \"matchmode\": [{\"modeid\": 1, \"mode\": [\n  " + itemText +
               "]}],\n \"rules\": [\n  " + rule + "]}\n";
    };
    const std::string rule = R"({"id": 5, "eventtype": 1, "ruleid": "101", "modeid": 1})";
    const struct {
        std::string text;
        std::string warning;
    } cases[] = {
        {document(R"({"id": 1, "srclevel": "70", "dstlvl": "1", "popwnd": "x"})", rule),
         "(3:13 /matchmode/0/mode/0/srclevel): unknown key \"srclevel\", which the plug-in "
         "ignores; did you mean \"srclvl\"?"},
        {document(R"({"id": 1, "srclvl": "70", "srclvl": "80", "popwnd": "x"})", rule),
         "(3:29 /matchmode/0/mode/0/srclvl): key \"srclvl\" appears again"},
        {document(item, R"({"id": 5, "eventtype": 1, "ruleid": 12, "modeid": 1})"),
         "(5:39 /rules/0/ruleid): \"ruleid\" is an integer, not a string; the plug-in reads an "
         "empty set, and the rule never fires"},
        {document(item, R"({"id": 5, "eventtype": 70.99999, "ruleid": "1", "modeid": 1})"),
         "(5:26 /rules/0/eventtype): \"eventtype\" is a number with a fraction or exponent"},
        {document(R"({"id": 1, "srclvl": "-70", "popwnd": "x"})", rule),
         "(3:23 /matchmode/0/mode/0/srclvl): srclvl entry \"-70\" is not LEVEL or "
         "LEVEL.SUBLEVEL in decimal within 32 bits; the plug-in reads it as level -70"},
        {document(R"({"id": 1, "dstlvl": "1e3", "popwnd": "x"})", rule),
         "entry \"1e3\" is not LEVEL or LEVEL.SUBLEVEL in decimal within 32 bits; the plug-in "
         "reads it as level 1, every sub-level"},
        {document(R"({"id": 1, "plvl": "70.-1", "popwnd": "x"})", rule),
         "reads it as level 70, sub-level -1"},
        {document(R"({"id": 1, "chainlvl": "70;80", "popwnd": "x"})", rule),
         "reads it as level 70, every sub-level"},
        {document(R"({"id": 1, "srclvl": "70.3.1", "popwnd": "x"})", rule),
         "reads it as level 70, sub-level 3 (what follows the second dot is ignored)"},
        {document(R"({"id": 1, "srclvl": "4294967296", "popwnd": "x"})", rule),
         "reads it as level -1, every sub-level"},
        {document(item, R"({"id": 5, "eventtype": 1, "ruleid": "1,x", "modeid": 1})"),
         "(5:39 /rules/0/ruleid): rule id \"x\" is not a decimal number within 32 bits; the "
         "plug-in reads it as 0"},
        {document(std::string(R"({"id": 1, "srclvl": "70", "popwnd": ")") + "\xff\"}", rule),
         "(3:39 /matchmode/0/mode/0/popwnd): the string holds bytes that are not UTF-8"},
        {document(item, rule) + std::string(1, '\0') + "junk",
         "(6:1 the document): a zero byte ends the text the plug-in reads; the 4 bytes after "
         "it are ignored"},
        {"{\"enable\": true, \"matchmode\": [], \"rules\": []}",
         "(1:12 /enable): \"enable\" is a boolean, not an integer; the plug-in keeps its switch"},
    };
    int index = 0;
    for (const auto& c : cases) {
        for (const std::string& bom : {std::string(), std::string("\xEF\xBB\xBF")}) {
            const std::string file = "case" + std::to_string(index++) + ".json";
            WriteText(file, bom + c.text);
            const ToolRun run = RunTool("check " + file);
            EXPECT_EQ(run.status, 0) << c.text << run.out;
            EXPECT_TRUE(Contains(run, c.warning)) << c.text << run.out;
            EXPECT_TRUE(Contains(run, "\n  warning (")) << c.text << run.out;
            EXPECT_EQ(RunTool("check --strict " + file).status, 1) << c.text;
        }
    }
    WriteText("clean.json", document(item, rule));
    EXPECT_EQ(RunTool("check --strict clean.json").status, 0);
}

TEST_F(Workbench, ReplayGivesTheReasonForEveryVerdictZero) {
    WriteText("rules.json", kConfiguration);
    const std::string event = R"({"class": "file", "operation": 2, "process": 9, )";
    WriteText("reasons.scenario.json",
              Scenario("rules.json",
                       event + R"("ruleId": 101, "source": {"path": "C:\\s.exe"}},)" + event +
                           R"("ruleId": 102},)" + event +
                           R"("ruleId": 103, "source": {"path": "C:\\s.exe", "level": "50.0"}},)" +
                           event +
                           R"("ruleId": 104, "source": {"path": "C:\\s.exe", "level": "50.0"},
                              "items": [{"type": "danger", "path": "C:\\d.exe", "process": 9,
                                         "engineKind": 6, "riskName": "Worm.Test.A"}]})"));
    const ToolRun run = RunTool("replay --explain reasons.scenario.json");
    EXPECT_EQ(run.status, 0) << run.out;
    const char* const reasons[] = {
        "reason: no candidate rule fit: rule 1, match mode 1 item 1: source file 0.0 not in 10, "
        "20\n",
        "reason: no candidate rule fit: rule 2, match mode 2 item 1: chain not compared because "
        "the scenario has no cloud engine\n",
        "reason: no target item for the rule's report type 8: the event needs an item of type "
        "destination (8) or, failing that, a source item (type 1)\n",
    };
    size_t at = 0;
    for (const char* reason : reasons) {
        const size_t found = run.out.find(reason, at);
        EXPECT_NE(found, std::string::npos) << reason << "\n" << run.out;
        at = found == std::string::npos ? at : found;
    }
    // A danger item's risk name reaches the pop-up of a rule that reports the danger item.
    EXPECT_TRUE(Contains(run, "risk name \"Worm.Test.A\"")) << run.out;
    EXPECT_TRUE(Contains(run,
                         "    rule 1, match mode 1 item 1: source file 0.0 not in 10, 20 -> "
                         "no match\n"));
    EXPECT_TRUE(Contains(run,
                         "    rule 3, match mode 3 item 1: source file 50.0 in 50; "
                         "destination file 0.0: any level (empty list); parent process: any "
                         "level (empty list); chain: any (empty list) -> match, pop-up "
                         "\"report\"\n"))
        << run.out;

    WriteText("off.json", R"({"enable": 0, "matchmode": [], "rules": []})");
    WriteText("off.scenario.json", Scenario("off.json", event + R"("ruleId": 101})"));
    const ToolRun off = RunTool("replay off.scenario.json");
    EXPECT_TRUE(Contains(off, "  note: the plug-in is switched off")) << off.out;
    EXPECT_TRUE(Contains(off,
                         "reason: disabled: the configuration's \"enable\" is not a "
                         "non-zero integer\n"));
    EXPECT_LT(off.out.find("note: the plug-in is switched off"), off.out.find("event 1:"));
}

TEST_F(Workbench, ReplayRefusesAConfigurationThatDoesNotParse) {
    WriteText("broken.json", "{\"matchmode\": [],\n \"rules\": [}\n");
    WriteText("broken.scenario.json",
              Scenario("broken.json", R"({"class": "file", "ruleId": 1, "process": 9})"));
    const ToolRun run = RunTool("replay broken.scenario.json", true);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Contains(run, "broken.json: 2:12 /rules: ")) << run.out;
    EXPECT_TRUE(Contains(run, "the configuration does not parse; nothing was run")) << run.out;
    EXPECT_FALSE(Contains(run, "event 1"));
}

}  // namespace
}  // namespace tools_test
