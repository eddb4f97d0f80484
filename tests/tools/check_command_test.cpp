#include <string>
#include <tuple>
#include <vector>

#include <rapidjson/document.h>

#include "tool_process.h"

namespace tools_test {
namespace {

const char kClean[] = R"({
  "enable": 1,
  "matchmode": [
    {"modeid": 1, "mode": [
      {"id": 2, "srclvl": "70.3", "popwnd": "1"},
      {"id": 1, "dstlvl": "10", "popwnd": "阻止"}
    ]}
  ],
  "rules": [
    {"id": 5, "eventtype": 1, "reporttype": 0, "ruleid": "101,102", "modeid": 1}
  ]
}
)";

const char kRejected[] = R"({
  "matchmode": [
    {"modeid": 1, "mode": [
      {"id": 1, "srclvl": "70.3", "popwnd": "1"},
      {"id": 2, "srclvl": "70.3", "popwnd": ""},
      {"id": 3, "dstlvl": "80.70000", "popwnd": "1"}
    ]},
    {"modeid": "2", "mode": []}
  ],
  "rules": [
    {"id": 7, "modeid": 1, "ruleid": "5"},
    {"id": 8, "modeid": 9, "ruleid": "6"}
  ]
}
)";

// The second comma of line 3 is its 34th character; the Chinese text counts two.
const char kSyntax[] =
    "{\n  \"matchmode\": [\n    {\"popwnd\": \"弹窗\", \"modeid\": 1,, \"mode\": []}\n";

class CheckCommand : public InFolderOfItsOwn {
  protected:
    void SetUp() override {
        InFolderOfItsOwn::SetUp();
        WriteText("check_clean.json", kClean);
        WriteText("check_rejected.json", kRejected);
        WriteText("check_syntax.json", kSyntax);
    }

    static rapidjson::Document Json(const std::string& files) {
        const ToolRun run = RunTool("check --json " + files);
        rapidjson::Document document;
        document.Parse(run.out.c_str());
        EXPECT_FALSE(document.HasParseError()) << run.out;
        return document;
    }
};

TEST_F(CheckCommand, ExitStatusSaysWhatHappenedToTheWorstFile) {
    const struct {
        std::string files;
        int status;
    } cases[] = {
        // One file of each kind: the schema and workbench cases.
        {"check_syntax.json", 2},
        {"check_clean.json check_rejected.json", 1},
        {"check_rejected.json check_missing.json check_clean.json", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunTool("check " + c.files).status, c.status) << c.files;
        EXPECT_EQ(RunTool("check --json " + c.files).status, c.status) << c.files;
    }
}

TEST_F(CheckCommand, NamesEachRejectionWithItsPlaceAndReason) {
    const rapidjson::Document document = Json("check_rejected.json");
    ASSERT_TRUE(document.IsObject());
    const rapidjson::Value& file = document["files"][0];
    // kind, pointer, line, column, reason
    const std::tuple<std::string, std::string, unsigned, unsigned, std::string> expected[] = {
        {"item", "/matchmode/0/mode/1", 5, 7, "popwnd missing or empty"},
        {"item", "/matchmode/0/mode/2", 6, 7, "every level list is empty once read"},
        {"level", "/matchmode/0/mode/2/dstlvl", 6, 27,
         "1 entry with a sub-level above 65535 dropped"},
        {"mode", "/matchmode/1", 8, 5, "modeid missing or not a 32-bit integer"},
        {"rule", "/rules/1", 12, 5, "no match mode 9 is configured"},
    };
    const rapidjson::Value& rejected = file["rejected"];
    ASSERT_EQ(rejected.Size(), std::size(expected));
    for (rapidjson::SizeType i = 0; i < rejected.Size(); ++i) {
        const rapidjson::Value& r = rejected[i];
        EXPECT_EQ(std::tuple(std::string(r["kind"].GetString()),
                             std::string(r["pointer"].GetString()), r["line"].GetUint(),
                             r["column"].GetUint(), std::string(r["reason"].GetString())),
                  expected[i]);
    }
    EXPECT_EQ(rejected[4]["modeid"].GetInt(), 9);
    EXPECT_STREQ(rejected[4]["log"][0].GetString(), "not found Modeid=9");
    ASSERT_EQ(file["matchModes"].Size(), 1u);
    EXPECT_EQ(file["matchModes"][0]["items"].Size(), 1u);
    ASSERT_EQ(file["rules"].Size(), 1u);
    EXPECT_EQ(file["rules"][0]["id"].GetInt(), 7);
    EXPECT_EQ(file["summary"]["rulesWithoutMatchMode"].GetInt(), 1);
}

TEST_F(CheckCommand, SyntaxErrorGivesLineColumnAndParserMessage) {
    const rapidjson::Document document = Json("check_syntax.json");
    ASSERT_TRUE(document.IsObject());
    const rapidjson::Value& error = document["files"][0]["syntaxError"];
    EXPECT_EQ(std::pair(error["line"].GetInt(), error["column"].GetInt()), std::pair(3, 34));
    EXPECT_STREQ(error["message"].GetString(), "Missing a name for object member.");
    EXPECT_STREQ(error["pointer"].GetString(), "/matchmode/0/modeid");
    EXPECT_NE(RunTool("check check_syntax.json")
                  .out.find("syntax error at 3:34 /matchmode/0/modeid: Missing a name for object "
                            "member."),
              std::string::npos);
}

std::string Items(const rapidjson::Value& list) {
    std::string text;
    for (const rapidjson::Value& value : list.GetArray()) {
        text += (text.empty() ? "" : ",") + std::to_string(value.GetInt64());
    }
    return text;
}

std::string Place(const rapidjson::Value& fact) {
    return "(" + std::to_string(fact["line"].GetUint()) + ":" +
           std::to_string(fact["column"].GetUint()) + " " + fact["pointer"].GetString() + ")";
}

// Every fact of the JSON document, written as the text output writes it, is in the text output.
TEST_F(CheckCommand, JsonCarriesTheSameFactsAsTheText) {
    const std::string files =
        "check_clean.json check_rejected.json check_syntax.json check_missing.json";
    const std::string text = RunTool("check " + files).out;
    const rapidjson::Document document = Json(files);
    ASSERT_TRUE(document.IsObject());
    EXPECT_EQ(document["exitStatus"].GetInt(), 2);
    std::vector<std::string> lines;
    for (const rapidjson::Value& file : document["files"].GetArray()) {
        lines.push_back(std::string(file["file"].GetString()) + ": " + file["status"].GetString());
        if (file["exitStatus"].GetInt() == 2) {
            continue;
        }
        for (const rapidjson::Value& mode : file["matchModes"].GetArray()) {
            lines.push_back("match mode " + std::to_string(mode["modeid"].GetInt64()) + " " +
                            Place(mode) + ": items " + Items(mode["items"]));
        }
        for (const rapidjson::Value& rule : file["rules"].GetArray()) {
            lines.push_back("rule " + std::to_string(rule["id"].GetInt64()) + " " + Place(rule) +
                            ": eventtype " + std::to_string(rule["eventtype"].GetInt64()) +
                            ", reporttype " + std::to_string(rule["reporttype"].GetInt64()) +
                            ", ruleid " + Items(rule["ruleid"]) + ", modeid " +
                            std::to_string(rule["modeid"].GetInt64()));
        }
        for (const rapidjson::Value& r : file["rejected"].GetArray()) {
            lines.push_back(Place(r) + ": " + r["reason"].GetString() +
                            " [plug-in: " + r["log"][0].GetString() + "]");
        }
        const rapidjson::Value& s = file["summary"];
        lines.push_back("rejected: " + std::to_string(s["rejected"].GetUint()) +
                        "; rules without a match mode: " +
                        std::to_string(s["rulesWithoutMatchMode"].GetUint()));
    }
    EXPECT_EQ(lines.size(), 15u);
    for (const std::string& line : lines) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n--- text output:\n" << text;
    }
}

TEST_F(CheckCommand, OriginalInvocationStillPrintsThePluginLog) {
    const ToolRun run = RunTool("--config check_clean.json");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("[tierlock][INFO ][Tierlock::Init] Init ok"), std::string::npos);
    // A configuration the plug-in cannot parse still initialises it, but is no success.
    EXPECT_EQ(RunTool("--config check_syntax.json").status, 1);
}

}  // namespace
}  // namespace tools_test
